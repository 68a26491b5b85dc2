// What a document of tiny nodes costs: the tree is counted against the
// reading budget, and its memory is bounded by the node limit however large
// the text.
#include "XmlTestSupport.h"

#include "base/Budget.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace addoscope;
using namespace addoscope::xml;
using namespace addoscope::xml::xmltest;

namespace {

constexpr int64_t Unlimited = int64_t(1) << 50;
constexpr size_t FourMiB = 4 << 20;

std::string Repeated(const std::string& head, const std::string& unit, size_t bytes, const std::string& tail)
{
    std::string xml = head;
    while (xml.size() + unit.size() + tail.size() <= bytes)
        xml += unit;
    return xml + tail;
}

struct TMeasured {
    uint32_t Nodes = 0;
    int64_t Memory = 0;
    bool LimitSaid = false;
};

TMeasured LoadCounted(const std::string& xml, uint32_t maxNodes = TXmlDoc::DefaultMaxNodeCount)
{
    auto stream = StreamOf(xml); // the text is the caller's, not the tree's
    TMeasured measured;
    base::TReadingBudget budget(Unlimited, Unlimited);
    TXmlDoc doc;
    doc.SetMaxNodeCount(maxNodes);
    doc.SetOnDebugOut([&measured](const std::string& text, TxWarnStyle) {
        measured.LimitSaid |= text.rfind("node limit of ", 0) == 0;
    });
    doc.LoadFromStream(*stream);
    measured.Nodes = doc.LoadedNodeCount();
    measured.Memory = budget.MemoryUsed();
    return measured;
}

} // namespace

// Each shape fills the 4 MiB the description is extracted up to with the
// smallest nodes it can make. Loading stops at the node limit, and the tree
// and string table take what that many nodes take, not what the text would.
TEST(XmlMemory, TinyNodesStopAtTheLimit)
{
    const std::string head = "<RDF><Description about='urn:mozilla:install-manifest'>";
    const std::string tail = "</Description></RDF>";
    const struct {
        const char* What;
        std::string Xml;
    } shapes[] = {
        {"empty elements", Repeated(head, "<a/>", FourMiB, tail)},
        {"nested elements", Repeated(head, "<a>", FourMiB, tail)},
        {"attributes", Repeated("<RDF><Description ", "a=\"\"", FourMiB, "/></RDF>")},
        {"text and comments", Repeated(head, "x<!---->", FourMiB, tail)},
        {"distinct names", [] {
             std::string xml = "<RDF>";
             for (int i = 0; xml.size() < FourMiB; ++i)
                 xml += "<n" + std::to_string(i) + "/>";
             return xml + "</RDF>";
         }()},
    };
    for (const auto& shape : shapes) {
        const TMeasured measured = LoadCounted(shape.Xml);
        std::printf("[ measure  ] %-18s %u nodes, %.1f MB counted\n", shape.What, measured.Nodes,
                    double(measured.Memory) / (1 << 20));
        EXPECT_TRUE(measured.LimitSaid) << shape.What;
        EXPECT_GE(measured.Nodes, TXmlDoc::DefaultMaxNodeCount) << shape.What;
        EXPECT_LE(measured.Nodes, TXmlDoc::DefaultMaxNodeCount + 4) << shape.What;
        // 48 bytes per element, 8 per array entry and as much again for the
        // arrays growth left behind; distinct names add their text and slots.
        EXPECT_LE(measured.Memory, 32 << 20) << shape.What;
        EXPECT_GT(measured.Memory, int64_t(TXmlDoc::DefaultMaxNodeCount) * 32) << shape.What;
    }
}

// Below the limit the tree costs a small constant per node, with nothing
// for the allocator.
TEST(XmlMemory, TreeCostsAFewWordsPerNode)
{
    const std::string xml = Repeated("<r>", "<e a='1'>t</e>", 80000 * 14, "</r>");
    const TMeasured measured = LoadCounted(xml);
    EXPECT_FALSE(measured.LimitSaid);
    ASSERT_GT(measured.Nodes, 3u * 79000);
    // Element 48 + attribute 40 + text 32 + four array entries of 8.
    EXPECT_LE(measured.Memory, int64_t(measured.Nodes) * 56 + (1 << 20));
}

// The budget sees the tree: a reading whose memory limit the tree passes
// stops with the budget's exception, and the budget stays spent.
TEST(XmlMemory, TreeIsChargedToTheBudget)
{
    const std::string xml = Repeated("<r>", "<a/>", FourMiB, "</r>");
    auto stream = StreamOf(xml);
    base::TReadingBudget budget(Unlimited, 4 << 20);
    TXmlDoc doc;
    doc.SetMaxNodeCount(UINT32_MAX);
    EXPECT_THROW(doc.LoadFromStream(*stream), base::EBudgetExceeded);
    EXPECT_TRUE(budget.Exceeded());
}

// A limit reached in mid-document keeps what was read, as any other fault.
TEST(XmlMemory, LimitKeepsWhatWasRead)
{
    TLoaded loaded;
    loaded.Doc->SetMaxNodeCount(5);
    auto* messages = &loaded.Messages;
    loaded.Doc->SetOnDebugOut([messages](const std::string& text, TxWarnStyle style) { messages->emplace_back(text, style); });
    loaded.Doc->LoadFromStream(*StreamOf("<RDF><Description em:id='x'><em:name>N</em:name><b/><c/></Description></RDF>"));
    const TxElement* rdf = loaded.Doc->Root();
    ASSERT_NE(rdf, nullptr);
    const TXmlNode* description = rdf->FindNode("Description");
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->Nodes(0)->Value(), "x");
    EXPECT_EQ(description->Nodes(1)->Value(), "N");
    EXPECT_EQ(description->NodeCount(), 2);
    EXPECT_TRUE(loaded.Said("node limit of 5 reached at pos "));
}
