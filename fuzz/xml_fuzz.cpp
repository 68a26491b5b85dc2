// Loads the input as an XML document, reads every node's name and value and
// searches the tree. The same input is loaded a second time through a
// stream that hands out a few bytes per read; both trees must be the same,
// since chunk boundaries may not change what is read. A third load runs
// under a small node limit and a small reading budget, so that loading
// stops in the middle of every construct and the tree is still whole.
#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "xml/XmlDoc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace addoscope;

namespace {

class TDribbleStream : public base::TMemoryStream {
public:
    explicit TDribbleStream(int64_t step) : FStep(step) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        return base::TMemoryStream::Read(buffer, std::min(count, FStep));
    }

private:
    int64_t FStep;
};

// Kinds, names and values of the whole tree in document order.
std::string Describe(const xml::TXmlDoc& doc)
{
    std::string out;
    std::vector<const xml::TXmlNode*> pending;
    for (int i = doc.RootNodes().Count() - 1; i >= 0; --i)
        pending.push_back(doc.RootNodes()[i]);
    while (!pending.empty()) {
        const xml::TXmlNode* node = pending.back();
        pending.pop_back();
        out += std::to_string(node->ElementType()) + ':' + std::string(node->Name()) + '=' + node->Value() + ';';
        for (int i = node->NodeCount() - 1; i >= 0; --i)
            pending.push_back(node->Nodes(i));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    xml::TXmlDoc doc;
    base::TMemoryStream stream;
    stream.LoadFromBuffer(data, size);
    doc.LoadFromStream(stream);
    doc.IsEmpty();
    const std::string whole = Describe(doc);
    if (const xml::TXmlNode* root = doc.Root()) {
        for (const char* name : {"Description", "RDF:Description", "em:id", "text", "/RDF/Description", "/a/b"})
            if (const xml::TXmlNode* found = root->FindNode(name))
                found->Value();
    }

    xml::TXmlDoc again;
    TDribbleStream dribble(static_cast<int64_t>(size % 7) + 1);
    dribble.LoadFromBuffer(data, size);
    again.LoadFromStream(dribble);
    if (Describe(again) != whole)
        __builtin_trap();

    base::TReadingBudget budget(int64_t(1) << 50, size % 3 == 0 ? 96 * 1024 : int64_t(1) << 30);
    xml::TXmlDoc limited;
    limited.SetMaxNodeCount(static_cast<uint32_t>(1 + size % 61));
    stream.Seek(0, base::TSeekOrigin::soBeginning);
    // Once spent, the budget raises at every later tick, reading the tree
    // included.
    try {
        limited.LoadFromStream(stream);
        if (limited.LoadedNodeCount() > limited.MaxNodeCount() + 2)
            __builtin_trap();
        Describe(limited);
        if (const xml::TXmlNode* root = limited.Root())
            root->FindNode("Description");
    } catch (const base::EBudgetExceeded&) {
        if (!budget.Exceeded())
            __builtin_trap();
    }
    return 0;
}
