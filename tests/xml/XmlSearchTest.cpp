// FindNode: depth-first order, attributes first, case-insensitive names and
// the path form.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

using namespace addoscope;
using namespace addoscope::xml;
using namespace addoscope::xml::xmltest;

TEST(XmlFindNode, DepthFirstInDocumentOrder)
{
    TLoaded loaded = Load("<RDF><a><Description n='1'/></a><Description n='2'/></RDF>");
    const TxElement* rdf = loaded.Doc->Root();
    const TXmlNode* found = rdf->FindNode("description");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Name(), "Description");
    EXPECT_EQ(found->Nodes(0)->Value(), "1");
    // The node itself is not compared, only what is below it.
    EXPECT_EQ(rdf->FindNode("RDF"), nullptr);
    EXPECT_EQ(rdf->FindNode("missing"), nullptr);
    // A prefix is part of the name.
    TLoaded prefixed = Load("<RDF><RDF:Description/></RDF>");
    EXPECT_EQ(prefixed.Doc->Root()->FindNode("Description"), nullptr);
    EXPECT_NE(prefixed.Doc->Root()->FindNode("rdf:description"), nullptr);
}

TEST(XmlFindNode, AttributesBeforeDeeperElements)
{
    TLoaded loaded = Load("<r><x><em:id>deep</em:id></x><d em:id='attr'/></r>");
    // x's subtree is searched before d is reached, so the element wins here...
    EXPECT_EQ(loaded.Doc->Root()->FindNode("em:id")->Value(), "deep");
    // ...but within one node the attribute comes before its subnodes.
    TLoaded own = Load("<r><d><em:id>deep</em:id></d></r>");
    TLoaded mixed = Load("<r><d em:id='attr'><em:id>deep</em:id></d></r>");
    EXPECT_EQ(own.Doc->Root()->FindNode("em:id")->Value(), "deep");
    const TXmlNode* found = mixed.Doc->Root()->FindNode("EM:ID");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->ElementType(), xeAttribute);
    EXPECT_EQ(found->Value(), "attr");
}

TEST(XmlFindNode, CaseFoldingCoversNonAsciiLetters)
{
    TLoaded loaded = Load("<r><\xC3\x84pfel>1</\xC3\x84pfel><stra\xC3\x9F" "e/></r>");
    const TXmlNode* found = loaded.Doc->Root()->FindNode("\xC3\xA4PFEL");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Value(), "1");
    EXPECT_NE(loaded.Doc->Root()->FindNode("STRA\xC3\x9F" "E"), nullptr);
    EXPECT_EQ(loaded.Doc->Root()->FindNode("apfel"), nullptr);
}

TEST(XmlFindNode, TextNodesAnswerToTheirKindNames)
{
    TLoaded loaded = Load("<r><a/>hello<!--c--></r>");
    const TXmlNode* text = loaded.Doc->Root()->FindNode("text");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Value(), "hello");
    EXPECT_EQ(loaded.Doc->Root()->FindNode("comment")->Value(), "c");
}

TEST(XmlFindNode, PathForm)
{
    TLoaded loaded = Load("<RDF><Description><em:id>x</em:id></Description>"
                          "<a><Description><em:id>y</em:id></Description></a></RDF>");
    const TxElement* rdf = loaded.Doc->Root();
    EXPECT_EQ(rdf->FindNode("/RDF/Description/em:id")->Value(), "x");
    EXPECT_EQ(rdf->FindNode("/rdf/a/description/EM:ID")->Value(), "y");
    EXPECT_EQ(rdf->FindNode("/RDF/a")->Name(), "a");
    EXPECT_EQ(rdf->FindNode("/RDF"), nullptr);
    EXPECT_EQ(rdf->FindNode("/Description"), nullptr);
    EXPECT_EQ(rdf->FindNode("/RDF/Description/em:id/"), nullptr);
    // Searching from a subnode still matches the full path from the top.
    const TXmlNode* a = rdf->FindNode("a");
    EXPECT_EQ(a->FindNode("/RDF/a/Description/em:id")->Value(), "y");
    EXPECT_EQ(a->FindNode("/a/Description"), nullptr);
    // Attribute names may hold "/": the path is matched as a whole text.
    TLoaded slash = Load("<r><p x/y='1'/></r>");
    EXPECT_EQ(slash.Doc->Root()->FindNode("/r/p/x/y")->Value(), "1");
}

TEST(XmlFindNode, NodeByNameLooksOnlyAtDirectSubnodes)
{
    TLoaded loaded = Load("<r a='1'><b><c/></b></r>");
    EXPECT_EQ(loaded.Doc->Root()->NodeByName("A")->Value(), "1");
    EXPECT_NE(loaded.Doc->Root()->NodeByName("b"), nullptr);
    EXPECT_EQ(loaded.Doc->Root()->NodeByName("c"), nullptr);
}

// ASCII names are settled without folding when their length or bytes
// decide; a name with other letters can fold to another length in bytes
// (dotless i and long s upper-case to ASCII) and must still be compared.
TEST(XmlFindNode, NamesOfOtherLengthsInBytesStillFold)
{
    TLoaded loaded = Load("<r><a/><Descr\xC4\xB1ption n='1'/><p><\xC5\xBF" "et n='2'/></p></r>");
    const TxElement* root = loaded.Doc->Root();
    const TXmlNode* found = root->FindNode("DESCRIPTION");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Nodes(0)->Value(), "1");
    EXPECT_NE(root->NodeByName("description"), nullptr);
    ASSERT_NE(root->FindNode("/r/P/SET"), nullptr);
    EXPECT_EQ(root->FindNode("/r/P/SET")->Nodes(0)->Value(), "2");

    TLoaded ascii = Load("<r x='1'><Description/><Descriptiom/></r>");
    const TxElement* r = ascii.Doc->Root();
    EXPECT_EQ(r->FindNode("descr\xC4\xB1ption"), r->Nodes(1));
    EXPECT_EQ(r->NodeByName("DESCRIPTIOM"), r->Nodes(2));
    EXPECT_EQ(r->FindNode("Descriptions"), nullptr);
    EXPECT_EQ(r->FindNode("Descriptio"), nullptr);
    EXPECT_EQ(r->NodeByName("X"), r->Nodes(0));
}
