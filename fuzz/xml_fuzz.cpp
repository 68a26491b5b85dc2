// Loads the input as an XML document, reads every node's name and value and
// searches the tree. The same input is loaded a second time through a
// stream that hands out a few bytes per read; both trees must be the same,
// since chunk boundaries may not change what is read. A third load runs
// under a small node limit and a small reading budget, so that loading
// stops in the middle of every construct and the tree is still whole.
// Where a value is offered as its stored text, it must be the value; and
// searches by name must find what folding every name would find.
#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "xml/XmlDoc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
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
        const std::string value = node->Value();
        std::string_view stored;
        if (xml::StoredValue(*node, stored) && stored != value)
            __builtin_trap();
        out += std::to_string(node->ElementType()) + ':' + std::string(node->Name()) + '=' + value + ';';
        for (int i = node->NodeCount() - 1; i >= 0; --i)
            pending.push_back(node->Nodes(i));
    }
    return out;
}

std::u16string Folded(std::string_view name)
{
    return platform::UpperCase(base::Utf8ToUtf16(name));
}

// FindNode without its shortcuts: depth first, every name folded.
const xml::TXmlNode* FoldingFind(const xml::TXmlNode& start, std::string_view name)
{
    const std::u16string wanted = Folded(name);
    std::vector<const xml::TXmlNode*> pending;
    for (int i = start.NodeCount() - 1; i >= 0; --i)
        pending.push_back(start.Nodes(i));
    while (!pending.empty()) {
        const xml::TXmlNode* node = pending.back();
        pending.pop_back();
        if (Folded(node->Name()) == wanted)
            return node;
        for (int i = node->NodeCount() - 1; i >= 0; --i)
            pending.push_back(node->Nodes(i));
    }
    return nullptr;
}

const xml::TXmlNode* FoldingNodeByName(const xml::TXmlNode& start, std::string_view name)
{
    for (int i = 0; i < start.NodeCount(); ++i)
        if (Folded(start.Nodes(i)->Name()) == Folded(name))
            return start.Nodes(i);
    return nullptr;
}

// The path form the same way: a node's path is "/" and its folded name
// after its parent's path, from the document level down.
const xml::TXmlNode* FoldingFindPath(const xml::TXmlNode& root, std::string_view path)
{
    const std::u16string wanted = Folded(path);
    std::vector<std::pair<const xml::TXmlNode*, std::u16string>> pending;
    std::u16string rootPath = u"/";
    rootPath += Folded(root.Name());
    for (int i = root.NodeCount() - 1; i >= 0; --i)
        pending.emplace_back(root.Nodes(i), rootPath);
    while (!pending.empty()) {
        auto [node, parentPath] = pending.back();
        pending.pop_back();
        const std::u16string nodePath = parentPath + u"/" + Folded(node->Name());
        if (nodePath == wanted)
            return node;
        for (int i = node->NodeCount() - 1; i >= 0; --i)
            pending.emplace_back(node->Nodes(i), nodePath);
    }
    return nullptr;
}

// Searches for a few names of the document itself, as written and with the
// letter case of ASCII letters turned, and for a name of another length.
void CompareSearches(const xml::TXmlNode& root)
{
    std::vector<std::string> names;
    for (int i = 0; i < root.NodeCount() && names.size() < 12; ++i) {
        const xml::TXmlNode* node = root.Nodes(i);
        const xml::TXmlNode* deeper = node->NodeCount() > 0 ? node->Nodes(0) : node;
        for (const xml::TXmlNode* named : {node, deeper}) {
            std::string name(named->Name());
            names.push_back(name);
            for (char& c : name)
                if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                    c = static_cast<char>(c ^ 0x20);
            names.push_back(name);
            names.push_back(name + "x");
        }
    }
    for (const std::string& name : names) {
        if (root.FindNode(name) != FoldingFind(root, name))
            __builtin_trap();
        if (root.NodeByName(name) != FoldingNodeByName(root, name))
            __builtin_trap();
        std::string path = "/";
        path.append(root.Name()).append("/").append(name);
        if (root.FindNode(path) != FoldingFindPath(root, path))
            __builtin_trap();
    }
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
        CompareSearches(*root);
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
