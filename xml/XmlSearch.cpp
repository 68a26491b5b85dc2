// Searching the node tree by name. The search keeps its own stack instead of
// recursing, so a document nested any number of levels deep is searched on
// a small thread stack.
#include "xml/XmlNodes.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <unordered_map>
#include <vector>

namespace addoscope::xml {

namespace {

// Names folded for comparison, each distinct name only once per search:
// documents repeat a handful of names many times, and locale-aware folding
// is the expensive part of a comparison. Only so many names are kept; a
// document of ever new names has the rest folded as they come, so the
// search's memory stays small whatever the tree. (The keys are string IDs,
// handed out in order, so the integer hash cannot be made to collide.)
class TxNameFolder {
public:
    // Valid until the next call.
    const std::u16string& Folded(const TXmlNode& node)
    {
        const auto found = FFolded.find(node.NameKey());
        if (found != FFolded.end())
            return found->second;
        base::BudgetTick(4);
        if (FFolded.size() < MaxKept)
            return FFolded.emplace(node.NameKey(), platform::UpperCase(base::Utf8ToUtf16(node.Name()))).first->second;
        FScratch = platform::UpperCase(base::Utf8ToUtf16(node.Name()));
        return FScratch;
    }

private:
    static constexpr size_t MaxKept = 4096;
    std::unordered_map<uint64_t, std::u16string> FFolded;
    std::u16string FScratch;
};

// Matches "/" and the folded name at offset of the wanted path; advances the
// offset past them.
bool MatchSegment(const std::u16string& wanted, size_t& offset, const std::u16string& name)
{
    if (offset >= wanted.size() || wanted[offset] != u'/')
        return false;
    if (wanted.compare(offset + 1, name.size(), name) != 0)
        return false;
    offset += 1 + name.size();
    return true;
}

struct TxSearchFrame {
    const TxContainerNode* Node;
    int Index;
    size_t Offset; // path form: how much of the wanted path this node's path matched
};

} // namespace

TXmlNode* TXmlNode::FindNode(std::string_view name) const
{
    const TxContainerNode* start = AsContainer();
    if (!start || start->NodeCount() == 0)
        return nullptr;
    const std::u16string wanted = platform::UpperCase(base::Utf8ToUtf16(name));
    TxNameFolder folder;
    const bool pathForm = !name.empty() && name[0] == '/';

    // In the path form a node matches when "/" and the names from the
    // document level down to it spell the wanted path. Paths are matched
    // segment by segment while descending, and a subtree whose path already
    // differs is skipped: none of its nodes can match.
    size_t startOffset = 0;
    if (pathForm) {
        std::vector<const TXmlNode*> chain;
        for (const TXmlNode* node = this; node; node = node->Parent()) {
            base::BudgetTick();
            chain.push_back(node);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            if (!MatchSegment(wanted, startOffset, folder.Folded(**it)))
                return nullptr;
    }

    std::vector<TxSearchFrame> stack;
    stack.push_back({start, 0, startOffset});
    while (!stack.empty()) {
        TxSearchFrame& frame = stack.back();
        if (frame.Index >= frame.Node->NodeCount()) {
            stack.pop_back();
            continue;
        }
        base::BudgetTick();
        TXmlNode* child = frame.Node->Nodes(frame.Index++);
        if (!child)
            continue;
        size_t offset = frame.Offset;
        if (pathForm) {
            if (!MatchSegment(wanted, offset, folder.Folded(*child)))
                continue;
            if (offset == wanted.size())
                return child;
        } else if (folder.Folded(*child) == wanted) {
            return child;
        }
        const TxContainerNode* container = child->AsContainer();
        if (container && container->NodeCount() > 0)
            stack.push_back({container, 0, offset}); // frame is not used after this
    }
    return nullptr;
}

TXmlNode* TXmlNode::NodeByName(std::string_view name) const
{
    const std::u16string wanted = platform::UpperCase(base::Utf8ToUtf16(name));
    TxNameFolder folder;
    for (int i = 0; i < NodeCount(); ++i) {
        base::BudgetTick();
        TXmlNode* node = Nodes(i);
        if (node && folder.Folded(*node) == wanted)
            return node;
    }
    return nullptr;
}

} // namespace addoscope::xml
