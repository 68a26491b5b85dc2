// Loading documents: structure, the value rules and the lenient handling of
// malformed markup.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

using namespace addoscope;
using namespace addoscope::xml;
using namespace addoscope::xml::xmltest;

namespace {

std::string RootValue(const std::string& xml, TxEolStyle eol = esCRLF)
{
    TLoaded loaded = Load(xml, eol);
    const TxElement* root = loaded.Doc->Root();
    return root ? root->Value() : "<no root>";
}

} // namespace

TEST(XmlValues, TrailingBlanksCutLeadingKept)
{
    TLoaded loaded = Load("<em:id>abc</em:id>");
    ASSERT_NE(loaded.Doc->Root(), nullptr);
    EXPECT_EQ(loaded.Doc->Root()->Name(), "em:id");
    EXPECT_EQ(loaded.Doc->Root()->Value(), "abc");
    EXPECT_EQ(RootValue("<em:id>  abc \t\r\n </em:id>"), "  abc");
    // Blank-only text leaves no node at all.
    TLoaded blank = Load("<a>  \n  <b/>  </a>");
    EXPECT_EQ(blank.Doc->Root()->NodeCount(), 1);
    EXPECT_EQ(blank.Doc->Root()->ValueIndex(), -1);
}

TEST(XmlValues, LineEndsReadBackInTheChosenStyle)
{
    EXPECT_EQ(RootValue("<a>one\r\ntwo\rthree\nfour</a>"), "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(RootValue("<a>one\r\ntwo</a>", esLF), "one\ntwo");
    EXPECT_EQ(RootValue("<a>one\ntwo</a>", esCR), "one\rtwo");
    TLoaded loaded = Load("<a v='x\r\ny'/>");
    EXPECT_EQ(loaded.Doc->Root()->Nodes(0)->Value(), "x\r\ny");
}

TEST(XmlValues, ReferencesExpand)
{
    EXPECT_EQ(RootValue("<a>x&amp;y&#65;&#x42;&#X43;&foo;</a>"), "x&yABC&foo;");
    EXPECT_EQ(RootValue("<a>&lt;&gt;&apos;&quot;&AMP;</a>"), "<>'\"&AMP;");
    // Beyond FFFF hex, malformed or unterminated: left as written.
    EXPECT_EQ(RootValue("<a>&#128512;&#x10000;&#;&#x;&#12a;&#99999999999999999999;</a>"),
              "&#128512;&#x10000;&#;&#x;&#12a;&#99999999999999999999;");
    EXPECT_EQ(RootValue("<a>a & b &amp c &amp;</a>"), "a & b &amp c &");
    EXPECT_EQ(RootValue("<a>&#233;&#x20AC;</a>"), "\xC3\xA9\xE2\x82\xAC");
    // A reference to CR follows the input's line-end rule and is not
    // converted again; a stored line end is.
    EXPECT_EQ(RootValue("<a>&#13;|&#10;|\n</a>"), "\n|\n|");
    EXPECT_EQ(RootValue("<a>p&#13;\nq</a>"), "p\n\r\nq");
    TLoaded loaded = Load("<a b=\"1&amp;2&#x41;\"/>");
    const TXmlNode* attribute = loaded.Doc->Root()->Nodes(0);
    EXPECT_EQ(attribute->Value(), "1&2A");
    EXPECT_EQ(static_cast<const TxAttribute*>(attribute)->RawValue(), "1&amp;2&#x41;");
}

TEST(XmlValues, ElementValueIsItsTextAndCData)
{
    TLoaded loaded = Load("<a>one<!-- c -->two<b>skip</b><?pi x?><![CDATA[<raw>&amp;\n]]></a>");
    const TxElement* root = loaded.Doc->Root();
    EXPECT_EQ(root->Value(), "onetwo<raw>&amp;\n");
    ASSERT_EQ(root->NodeCount(), 6);
    EXPECT_EQ(root->Nodes(1)->ElementType(), xeComment);
    EXPECT_EQ(root->Nodes(1)->Value(), " c ");
    EXPECT_EQ(root->Nodes(1)->Name(), "Comment");
    EXPECT_EQ(root->Nodes(4)->ElementType(), xeInstruction);
    EXPECT_EQ(root->Nodes(4)->Value(), "pi x");
    EXPECT_EQ(root->Nodes(5)->Name(), "CData");
}

// A value read as a view of the stored text is the value, and is offered
// only where no reference, line end or second text would change it.
TEST(XmlValues, StoredValuesAreTheValues)
{
    const std::string xml = "<r a='plain' b='x&amp;y' c='two\nlines'><e>text</e><f>a&lt;b</f><g>two\nlines</g>"
                            "<h/><i><![CDATA[x&amp;\ny]]></i><j>t<![CDATA[c]]></j><k>t<!--c--></k></r>";
    for (const TxEolStyle eol : {esLF, esCRLF, esCR}) {
        TLoaded loaded = Load(xml, eol);
        const TxElement* root = loaded.Doc->Root();
        ASSERT_NE(root, nullptr);
        std::string offered;
        for (int i = 0; i < root->NodeCount(); ++i) {
            const TXmlNode* node = root->Nodes(i);
            std::string_view stored;
            if (StoredValue(*node, stored)) {
                EXPECT_EQ(stored, node->Value()) << node->Name();
                offered += std::string(node->Name()) + " ";
            }
            for (int j = 0; j < node->NodeCount(); ++j) {
                if (StoredValue(*node->Nodes(j), stored)) {
                    EXPECT_EQ(stored, node->Nodes(j)->Value());
                }
            }
        }
        EXPECT_EQ(offered, eol == esLF ? "a c e g h i k " : "a e h i k ") << eol;
        std::string_view stored = "?";
        EXPECT_TRUE(StoredValue(*root, stored)); // no text child: its value is ""
        EXPECT_EQ(stored, "");
    }
}

TEST(XmlStructure, AttributesComeBeforeSubnodes)
{
    TLoaded loaded = Load("<Description em:id=\"x\" em:name = 'y'><em:name>N</em:name>t</Description>");
    const TxElement* root = loaded.Doc->Root();
    ASSERT_EQ(root->NodeCount(), 4);
    EXPECT_EQ(root->AttributeCount(), 2);
    EXPECT_EQ(root->Nodes(0)->ElementType(), xeAttribute);
    EXPECT_EQ(root->Nodes(0)->Name(), "em:id");
    EXPECT_EQ(root->Nodes(1)->Name(), "em:name");
    EXPECT_EQ(root->Nodes(1)->Value(), "y");
    EXPECT_EQ(static_cast<const TxAttribute*>(root->Nodes(1))->QuoteStyle(), qsApos);
    EXPECT_EQ(root->Nodes(2)->ElementType(), xeElement);
    EXPECT_EQ(root->Nodes(2)->Value(), "N");
    EXPECT_EQ(root->Nodes(2)->Parent(), root);
    EXPECT_EQ(root->Value(), "t");
    EXPECT_EQ(root->Nodes(4), nullptr);
    EXPECT_EQ(root->Nodes(-1), nullptr);
    EXPECT_EQ(root->Nodes(0)->NodeCount(), 0);
    EXPECT_EQ(root->NodeClosingStyle(), ncFull);
    EXPECT_EQ(static_cast<const TxElement*>(root->Nodes(2))->NodeClosingStyle(), ncFull);
}

TEST(XmlStructure, DocumentLevelNodes)
{
    TLoaded loaded = Load("\xEF\xBB\xBF<?xml version=\"1.0\" encoding='UTF-16'?>\n"
                          "<?xml-stylesheet href=\"s.css\"?> lead <!-- note -->\n"
                          "<!DOCTYPE RDF PUBLIC \"-//x\" 'y.dtd' [\n"
                          "  <!ENTITY name \"Value\">  <!-- in subset -->\n"
                          "  <!ELEMENT RDF ANY>\n"
                          "]>\n<RDF>&name;</RDF> trail ");
    const TxNodeList& nodes = loaded.Doc->RootNodes();
    ASSERT_EQ(nodes.Count(), 7);
    EXPECT_EQ(nodes[0]->ElementType(), xeDeclaration);
    EXPECT_EQ(nodes[0]->Name(), "xml");
    EXPECT_EQ(nodes[0]->NodeCount(), 2);
    EXPECT_EQ(nodes[1]->ElementType(), xeStylesheet);
    EXPECT_EQ(nodes[2]->ElementType(), xeCharData);
    EXPECT_EQ(nodes[2]->Value(), "lead");
    EXPECT_EQ(nodes[3]->ElementType(), xeComment);
    ASSERT_EQ(nodes[4]->ElementType(), xeDocType);
    const auto* docType = static_cast<const TxDocType*>(nodes[4]);
    EXPECT_EQ(docType->Name(), "RDF");
    EXPECT_EQ(loaded.Doc->SymbolTable().GetString(docType->FExternalID), "PUBLIC");
    EXPECT_EQ(loaded.Doc->SymbolTable().GetString(docType->FPubIDLiteral), "-//x");
    EXPECT_EQ(loaded.Doc->SymbolTable().GetString(docType->FSystemLiteral), "y.dtd");
    ASSERT_EQ(docType->NodeCount(), 3);
    EXPECT_EQ(docType->Nodes(0)->ElementType(), xeDtdEntity);
    EXPECT_EQ(docType->Nodes(0)->Name(), "name");
    EXPECT_EQ(docType->Nodes(0)->Value(), "\"Value\"");
    EXPECT_EQ(docType->Nodes(1)->ElementType(), xeComment);
    EXPECT_EQ(docType->Nodes(2)->ElementType(), xeDtdElement);
    // Declared entities are kept but never expanded.
    EXPECT_EQ(nodes[5]->Value(), "&name;");
    EXPECT_EQ(nodes[6]->Value(), "trail");
    EXPECT_TRUE(loaded.Doc->HasDeclaration());
    EXPECT_TRUE(loaded.Doc->HasDocType());
    EXPECT_EQ(loaded.Doc->ExternalEncoding(), seUTF16LE);
    EXPECT_TRUE(loaded.Said("BOM with encoding UTF-8"));
    EXPECT_TRUE(loaded.Said("declaration with encoding \"UTF-16\" and codepage 1200"));
    EXPECT_FALSE(loaded.Said("illegal"));
}

TEST(XmlStructure, CommentsCanBeDroppedAtDocumentLevel)
{
    TLoaded loaded;
    loaded.Doc->SetDropCommentsOnParse(true);
    auto stream = StreamOf("<!-- a --><r><!-- kept --></r><!-- b -->");
    loaded.Doc->LoadFromStream(*stream);
    ASSERT_EQ(loaded.Doc->RootNodes().Count(), 1);
    EXPECT_EQ(loaded.Doc->Root()->NodeCount(), 1);
}

TEST(XmlEmptiness, DocumentsWithoutContentAreEmpty)
{
    EXPECT_TRUE(TXmlDoc().IsEmpty());
    EXPECT_NE(TXmlDoc().Root(), nullptr);
    for (const std::string& bytes :
         {std::string(), std::string("<a/>"), std::string("\x00\x00\x00<\x00\x00\x00\x61\x00\x00\x00/", 12),
          std::string("<?xml version=\"1.0\"?>\n<!-- only -->\n<!-- comments -->"), std::string("just text"),
          std::string("$BXM\x01\x02\x03", 7)}) {
        TLoaded loaded = Load(bytes);
        EXPECT_TRUE(loaded.Doc->IsEmpty()) << ::testing::PrintToString(bytes);
    }
    EXPECT_FALSE(Load("<a/> ").Doc->IsEmpty());
    EXPECT_TRUE(Load("< />  ").Doc->IsEmpty());
    EXPECT_FALSE(Load("<>x</>").Doc->IsEmpty());
    EXPECT_FALSE(Load("< b='1'/>").Doc->IsEmpty());
    // A second load replaces the first.
    TLoaded loaded = Load("<a>1</a>");
    auto stream = StreamOf("<b>2</b>");
    loaded.Doc->LoadFromStream(*stream);
    ASSERT_EQ(loaded.Doc->RootNodes().Count(), 1);
    EXPECT_EQ(loaded.Doc->Root()->Name(), "b");
    EXPECT_EQ(loaded.Doc->SymbolTable().Count(), 2u);
}

TEST(XmlFaults, MissingEndTagsKeepWhatWasRead)
{
    TLoaded loaded = Load("<r><a>1</a><b><c>2");
    const TxElement* root = loaded.Doc->Root();
    ASSERT_EQ(root->NodeCount(), 2);
    EXPECT_EQ(root->Nodes(1)->Nodes(0)->Value(), "2");
    EXPECT_TRUE(loaded.Said("stream terminated prematurely at pos "));
    int mismatches = 0;
    for (const auto& message : loaded.Messages)
        if (message.first.rfind("level mismatch between subnode ", 0) == 0)
            ++mismatches;
    EXPECT_EQ(mismatches, 2); // c inside b, b inside r
    EXPECT_TRUE(loaded.Said("level mismatch between subnode \"c\" and endnode \"nil\""));
}

TEST(XmlFaults, WrongEndTagEndsOnlyTheOpenElement)
{
    TLoaded loaded = Load("<r><a>x</b><c/></r><after/>");
    ASSERT_EQ(loaded.Doc->RootNodes().Count(), 2);
    const TxElement* root = loaded.Doc->Root();
    ASSERT_EQ(root->NodeCount(), 2);
    EXPECT_EQ(root->Nodes(0)->Value(), "x");
    EXPECT_EQ(root->Nodes(1)->Name(), "c");
    EXPECT_TRUE(loaded.Said("begin and end tag mismatch: \"a\" and \"b\""));
}

TEST(XmlFaults, StrayEndTagStopsLoading)
{
    TLoaded loaded = Load("<a/>text</x><b/>");
    ASSERT_EQ(loaded.Doc->RootNodes().Count(), 2);
    EXPECT_EQ(loaded.Doc->RootNodes()[1]->Value(), "text");
    EXPECT_TRUE(loaded.Said("unsupported tag (\"/\") at pos "));
    TLoaded illegal = Load("<a/><!BOGUS><b/>");
    EXPECT_EQ(illegal.Doc->RootNodes().Count(), 1);
    EXPECT_TRUE(illegal.Said("illegal tag ("));
}

TEST(XmlFaults, IllegalTagInsideAnElementContinuesAtDocumentLevel)
{
    TLoaded loaded = Load("<r><a><!DOCTYPE x>tail</a></r>");
    ASSERT_GE(loaded.Doc->RootNodes().Count(), 2);
    EXPECT_EQ(loaded.Doc->Root()->Name(), "r");
    EXPECT_EQ(loaded.Doc->RootNodes()[1]->ElementType(), xeCharData);
    EXPECT_TRUE(loaded.Said("illegal tag ("));
}

TEST(XmlFaults, MalformedAttributes)
{
    // A missing quote is reported and the attribute dropped; ">" still ends
    // the start tag.
    TLoaded loaded = Load("<a b= c=\"2\" \"d\" e=>text</a>");
    const TxElement* root = loaded.Doc->Root();
    ASSERT_EQ(root->AttributeCount(), 1);
    EXPECT_EQ(root->Nodes(0)->Name(), "c");
    EXPECT_EQ(root->Nodes(0)->Value(), "2");
    EXPECT_EQ(root->Value(), "text");
    EXPECT_TRUE(loaded.Said("quote char expected at pos "));
    EXPECT_TRUE(loaded.Said("illegal quote at pos "));
    TLoaded bad = Load("<a b='1'?>x</a>");
    EXPECT_TRUE(bad.Said("illegal end tag (\"a\") at line 0"));
    // After the skipped quote the next name runs up to the next "=".
    TLoaded skipped = Load("<a \"d\" e='v'/>");
    ASSERT_EQ(skipped.Doc->Root()->AttributeCount(), 1);
    EXPECT_EQ(skipped.Doc->Root()->Nodes(0)->Name(), "d\" e");
}

// A text of "=" signs in a start tag made a node per byte. Attributes
// without a name or without a quoted value now make none, and the reader
// reports exactly what it reported before.
TEST(XmlFaults, AttributesWithoutNameOrValueMakeNoNode)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"<a =>t</a>", {"quote char expected at pos 5"}},
        {"<a ===/>",
         {"quote char expected at pos 5", "non-default chardata at line 0 (pos 5)", "quote char expected at pos 6",
          "non-default chardata at line 0 (pos 6)", "quote char expected at pos 7"}},
        {"<a =\"v\" ='w'/>", {}},
        {"<a b=c/>",
         {"quote char expected at pos 6", "non-default chardata at line 0 (pos 6)", "quote char expected at pos 8",
          "illegal end tag (\"a\") at line 0 (streampos 8)"}},
        {"<a  = x='1'\t=/>",
         {"non-default chardata at line 0 (pos 5)", "quote char expected at pos 7",
          "non-default chardata at line 0 (pos 7)", "non-default chardata at line 0 (pos 13)",
          "quote char expected at pos 14"}},
    };
    for (const auto& [xml, said] : cases) {
        TLoaded loaded = Load(xml);
        const TxElement* root = loaded.Doc->Root();
        ASSERT_NE(root, nullptr) << xml;
        EXPECT_EQ(root->AttributeCount(), xml.find("x='1'") != std::string::npos ? 1 : 0) << xml;
        std::vector<std::string> messages;
        for (const auto& message : loaded.Messages)
            if (message.first != "unknown encoding")
                messages.push_back(message.first);
        EXPECT_EQ(messages, said) << xml;
    }
    // A megabyte of them: the tree is the element alone, and the string
    // table holds its name.
    TLoaded flood = Load("<RDF " + std::string(1 << 20, '=') + "><Description em:id='x'/></RDF>");
    EXPECT_EQ(flood.Doc->LoadedNodeCount(), 3u);
    EXPECT_EQ(flood.Doc->Root()->NodeCount(), 1);
    EXPECT_EQ(flood.Doc->Root()->FindNode("em:id")->Value(), "x");
    EXPECT_EQ(flood.Doc->SymbolTable().Count(), 4u);
}

TEST(XmlFaults, UnterminatedSectionsKeepNoText)
{
    for (const char* text : {"<a><!-- open", "<a><![CDATA[ open", "<a><?pi open"}) {
        TLoaded loaded = Load(text);
        const TxElement* root = loaded.Doc->Root();
        ASSERT_EQ(root->NodeCount(), 1) << text;
        EXPECT_EQ(root->Nodes(0)->Value(), "") << text;
        EXPECT_TRUE(loaded.Said("stream terminated prematurely at pos ")) << text;
    }
}

TEST(XmlFaults, GarbageNeverRaisesOrHangs)
{
    const char* inputs[] = {"<", "<<<<<", "<a", "<a b", "<a b=", "<a b='", "<a/", "</", "<!", "<!-", "<![CD",
                            "<!DOCTYPE", "<!DOCTYPE x [", "<!DOCTYPE x [ <a> ]>", "<!DOCTYPE x SYSTEM>",
                            "<!ENTITY", "<?", "<?xml", "<?xml a='1'", "<a>&", "<a>&#", "<a>]]>", "<a =''>",
                            "<a>\x00\x01\xFF</a>", "<a b='1' b='2'/>", "<a\n\t\r/>", "<a>&#0;</a>", "\r\r\r\r\r"};
    for (const char* input : inputs) {
        const std::string body = std::string("<?xml?>") + input;
        EXPECT_NO_THROW({
            TLoaded loaded = Load(body);
            loaded.Doc->IsEmpty();
            if (TxElement* root = loaded.Doc->Root())
                root->FindNode("x");
        }) << input;
    }
}

TEST(XmlSections, EndsThatTouchOrOverlapTheirStart)
{
    struct TCase {
        const char* Markup;
        TxElementType Kind;
        const char* Text;
    };
    const TCase cases[] = {
        {"<!---->", xeComment, ""},        {"<!-- a --->", xeComment, " a -"}, {"<![CDATA[]]>", xeCData, ""},
        {"<![CDATA[x]]]>", xeCData, "x]"}, {"<![CDATA[]]]]>", xeCData, "]]"},  {"<?pi?>", xeInstruction, "pi"},
        {"<?pi ?" "?>", xeInstruction, "pi ?"},
    };
    // The reader decodes 256 bytes at a time: the padding moves each
    // section's end across that boundary, one byte at a time.
    for (const TCase& test : cases) {
        for (size_t pad = 240; pad <= 256; ++pad) {
            TLoaded loaded = Load("<r>" + std::string(pad, 'x') + test.Markup + "<e/></r>");
            const TxElement* root = loaded.Doc->Root();
            ASSERT_NE(root, nullptr);
            ASSERT_EQ(root->NodeCount(), 3) << test.Markup << " after " << pad;
            EXPECT_EQ(root->Nodes(1)->ElementType(), test.Kind) << test.Markup << " after " << pad;
            EXPECT_EQ(root->Nodes(1)->Value(), test.Text) << test.Markup << " after " << pad;
            EXPECT_EQ(root->Nodes(2)->Name(), "e") << test.Markup << " after " << pad;
            EXPECT_FALSE(loaded.Said("stream terminated")) << test.Markup << " after " << pad;
        }
    }
}

TEST(XmlStructure, QuotedMarkupStaysInsideItsDeclaration)
{
    // A "<" or ">" inside a quoted literal of a markup declaration, in both
    // quote kinds, with the literal moved across the 256-byte chunk boundary.
    for (size_t pad = 0; pad <= 260; pad += 20) {
        const std::string filler(pad, 'y');
        TLoaded elements = Load("<?xml version=\"1.0\"?>\n<!DOCTYPE doc [\n<!ENTITY test \"" + filler +
                                "<a/>, <b/>, <c/>, <d/>\">\n]>\n<doc>&test;</doc>\n");
        ASSERT_NE(elements.Doc->Root(), nullptr) << pad;
        EXPECT_EQ(elements.Doc->Root()->Name(), "doc") << pad;
        const TxNodeList& nodes = elements.Doc->RootNodes();
        ASSERT_EQ(nodes[1]->ElementType(), xeDocType) << pad;
        ASSERT_EQ(nodes[1]->NodeCount(), 1) << pad;
        EXPECT_EQ(nodes[1]->Nodes(0)->Value(), "\"" + filler + "<a/>, <b/>, <c/>, <d/>\"") << pad;
        EXPECT_FALSE(elements.Said("illegal")) << pad;

        TLoaded mixed = Load("<!DOCTYPE spec [\n<!ENTITY % mode 'final'>\n<!ENTITY sample \"" + filler +
                             "<code>a '>' b</code>\">\n<!ATTLIST spec role CDATA '\">'>\n"
                             "<!NOTATION n SYSTEM '>'>\n]>\n<spec><header/></spec>");
        ASSERT_NE(mixed.Doc->Root(), nullptr) << pad;
        EXPECT_EQ(mixed.Doc->Root()->Name(), "spec") << pad;
        const TXmlNode* docType = mixed.Doc->RootNodes()[0];
        ASSERT_EQ(docType->NodeCount(), 4) << pad;
        EXPECT_EQ(docType->Nodes(1)->Value(), "\"" + filler + "<code>a '>' b</code>\"") << pad;
        EXPECT_EQ(docType->Nodes(2)->Value(), "role CDATA '\">'") << pad;
        EXPECT_EQ(docType->Nodes(3)->Value(), "SYSTEM '>'") << pad;
        EXPECT_FALSE(mixed.Said("illegal")) << pad;
    }
}

TEST(XmlFaults, UnclosedLiteralInADeclarationEndsWithTheInput)
{
    for (const std::string& literal : {std::string("\"<a/>"), std::string("'<a/>"), "\"" + std::string(1 << 20, '>')}) {
        const std::string text = "<!DOCTYPE doc [\n<!ENTITY t " + literal + ">\n]>\n<doc/>";
        TLoaded loaded = Load(text);
        EXPECT_EQ(loaded.Doc->Root(), nullptr);
        ASSERT_EQ(loaded.Doc->RootNodes().Count(), 1);
        EXPECT_EQ(loaded.Doc->RootNodes()[0]->NodeCount(), 1);
        EXPECT_TRUE(loaded.Said("stream terminated prematurely at pos " + std::to_string(text.size())));
    }
}
