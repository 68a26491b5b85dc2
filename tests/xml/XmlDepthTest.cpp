// Documents nested far deeper than any call stack could follow: loading,
// searching and freeing must not recurse per level. Each runs on a thread
// with a 1 MiB stack, the size of a host's threads on Windows.
#include "XmlTestSupport.h"

#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace addoscope;
using namespace addoscope::xml;
using namespace addoscope::xml::xmltest;

namespace {

constexpr size_t HostStack = 1024 * 1024;
constexpr int Depth = 1000000;

std::string Nested(bool closed)
{
    std::string xml;
    xml.reserve(Depth * 8 + 32);
    for (int i = 0; i < Depth; ++i)
        xml += "<e a='1'>";
    xml += "<leaf>bottom</leaf>";
    if (closed)
        for (int i = 0; i < Depth; ++i)
            xml += "</e>";
    return xml;
}

} // namespace

TEST(XmlDepth, MillionLevelsOnASmallStack)
{
    for (const bool closed : {true, false}) {
        const std::string xml = Nested(closed);
        std::string value;
        int depthSeen = 0;
        bool emptySeen = true;
        const bool ran = platform::RunWithStackSize(HostStack, [&] {
            TXmlDoc doc;
            doc.SetMaxNodeCount(UINT32_MAX); // two million nodes: far past the default bound
            doc.LoadFromStream(*StreamOf(xml));
            emptySeen = doc.IsEmpty();
            const TXmlNode* node = doc.Root();
            while (node && node->NodeCount() == 2) {
                node = node->Nodes(1);
                ++depthSeen;
            }
            if (const TXmlNode* leaf = doc.Root()->FindNode("LEAF"))
                value = leaf->Value();
            // The path form descends the whole chain as well.
            std::string path;
            for (int i = 0; i < 3; ++i)
                path += "/e";
            if (!doc.Root()->FindNode(path + "/e/a"))
                value += "|path failed";
        }); // the document is freed on that thread too
        ASSERT_TRUE(ran);
        EXPECT_FALSE(emptySeen);
        EXPECT_EQ(depthSeen, Depth) << closed;
        EXPECT_EQ(value, "bottom") << closed;
    }
}
