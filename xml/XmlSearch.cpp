// Searching the node tree by name. The search keeps its own stack instead of
// recursing, so a document nested any number of levels deep is searched on
// a small thread stack.
#include "xml/XmlNodes.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <array>
#include <unordered_map>
#include <vector>

namespace addoscope::xml {

namespace {

// The locale-aware upper-casing maps every ASCII character by itself, the
// same way every time; its answers for the 128 of them are taken once, so
// that ASCII names (nearly all of them) fold without converting or calling
// the platform. Should the platform ever answer a different length, every
// name takes the general way.
struct TxAsciiFolding {
    std::array<char16_t, 128> Upper {};
    bool Usable = false;
};

const TxAsciiFolding& AsciiFolding()
{
    static const TxAsciiFolding folding = [] {
        TxAsciiFolding result;
        std::u16string all(128, u'\0');
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<char16_t>(i);
        const std::u16string upper = platform::UpperCase(all);
        if (upper.size() == all.size()) {
            for (size_t i = 0; i < all.size(); ++i)
                result.Upper[i] = upper[i];
            result.Usable = true;
        }
        return result;
    }();
    return folding;
}

bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Names folded for comparison, and the wanted name they are compared with.
// Folding keeps a text's length in code units, so an ASCII name of another
// length than an ASCII wanted name cannot match, and one of the same bytes
// always does: most comparisons need no folding at all. Other ASCII names
// fold through the table; the rest are folded by the platform, each
// distinct one only once per search: documents repeat a handful of names
// many times, and locale-aware folding is the expensive part of a
// comparison. Only so many names are kept; a document of ever new names has
// the rest folded as they come, so the search's memory stays small whatever
// the tree. (The keys are string IDs, handed out in order, so the integer
// hash cannot be made to collide.)
class TxNameFolder {
public:
    explicit TxNameFolder(std::string_view wanted) : FWanted(wanted), FWantedAscii(IsAscii(wanted)) {}

    // The wanted name folded, made on first use.
    const std::u16string& Wanted()
    {
        if (!FWantedFolded) {
            FFoldedWanted = FWantedAscii && Ascii().Usable ? FoldAscii(FWanted) : platform::UpperCase(base::Utf8ToUtf16(FWanted));
            FWantedFolded = true;
        }
        return FFoldedWanted;
    }

    bool Equals(const TXmlNode& node)
    {
        const std::string_view name = node.Name();
        if (FWantedAscii && IsAscii(name)) {
            if (name.size() != FWanted.size())
                return false;
            if (name == FWanted)
                return true;
        }
        size_t length = 0;
        return IsPrefix(node, Wanted(), length) && length == Wanted().size();
    }

    // Whether the node's folded name starts target; length is then its
    // length in code units.
    bool IsPrefix(const TXmlNode& node, std::u16string_view target, size_t& length)
    {
        const std::string_view name = node.Name();
        if (IsAscii(name) && Ascii().Usable) {
            length = name.size();
            if (name.size() > target.size())
                return false;
            for (size_t i = 0; i < name.size(); ++i)
                if (Ascii().Upper[static_cast<unsigned char>(name[i])] != target[i])
                    return false;
            return true;
        }
        const std::u16string& folded = Folded(node);
        length = folded.size();
        return target.substr(0, folded.size()) == folded;
    }

private:
    const TxAsciiFolding& Ascii()
    {
        if (!FAscii)
            FAscii = &AsciiFolding();
        return *FAscii;
    }

    std::u16string FoldAscii(std::string_view name)
    {
        std::u16string folded(name.size(), u'\0');
        for (size_t i = 0; i < name.size(); ++i)
            folded[i] = Ascii().Upper[static_cast<unsigned char>(name[i])];
        return folded;
    }

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

    static constexpr size_t MaxKept = 4096;
    const std::string_view FWanted;
    const bool FWantedAscii;
    bool FWantedFolded = false;
    std::u16string FFoldedWanted;
    const TxAsciiFolding* FAscii = nullptr;
    std::unordered_map<uint64_t, std::u16string> FFolded;
    std::u16string FScratch;
};

// Matches "/" and the folded name at offset of the wanted path; advances the
// offset past them.
bool MatchSegment(const std::u16string& wanted, size_t& offset, TxNameFolder& folder, const TXmlNode& node)
{
    if (offset >= wanted.size() || wanted[offset] != u'/')
        return false;
    size_t length = 0;
    if (!folder.IsPrefix(node, std::u16string_view(wanted).substr(offset + 1), length))
        return false;
    offset += 1 + length;
    return true;
}

struct TxSearchFrame {
    const TxContainerNode* Node;
    int Index;
    size_t Offset; // path form: how much of the wanted path this node's path matched
};

// The open frames of a search: a few levels fit in place, so the usual
// shallow search allocates nothing; deeper ones go on the heap.
class TxSearchStack {
public:
    bool Empty() const { return FCount == 0; }
    TxSearchFrame& Back() { return FCount <= InPlace ? FInPlace[FCount - 1] : FDeeper[FCount - InPlace - 1]; }
    void Pop()
    {
        if (FCount > InPlace)
            FDeeper.pop_back();
        --FCount;
    }
    void Push(const TxSearchFrame& frame)
    {
        if (FCount < InPlace)
            FInPlace[FCount] = frame;
        else
            FDeeper.push_back(frame);
        ++FCount;
    }

private:
    static constexpr size_t InPlace = 16;
    TxSearchFrame FInPlace[InPlace];
    std::vector<TxSearchFrame> FDeeper;
    size_t FCount = 0;
};

} // namespace

TXmlNode* TXmlNode::FindNode(std::string_view name) const
{
    const TxContainerNode* start = AsContainer();
    if (!start || start->NodeCount() == 0)
        return nullptr;
    TxNameFolder folder(name);
    const bool pathForm = !name.empty() && name[0] == '/';

    // In the path form a node matches when "/" and the names from the
    // document level down to it spell the wanted path. Paths are matched
    // segment by segment while descending, and a subtree whose path already
    // differs is skipped: none of its nodes can match.
    size_t startOffset = 0;
    if (pathForm) {
        const std::u16string& wanted = folder.Wanted();
        std::vector<const TXmlNode*> chain;
        for (const TXmlNode* node = this; node; node = node->Parent()) {
            base::BudgetTick();
            chain.push_back(node);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            if (!MatchSegment(wanted, startOffset, folder, **it))
                return nullptr;
    }

    TxSearchStack stack;
    stack.Push({start, 0, startOffset});
    while (!stack.Empty()) {
        TxSearchFrame& frame = stack.Back();
        if (frame.Index >= frame.Node->NodeCount()) {
            stack.Pop();
            continue;
        }
        base::BudgetTick();
        TXmlNode* child = frame.Node->Nodes(frame.Index++);
        if (!child)
            continue;
        size_t offset = frame.Offset;
        if (pathForm) {
            if (!MatchSegment(folder.Wanted(), offset, folder, *child))
                continue;
            if (offset == folder.Wanted().size())
                return child;
        } else if (folder.Equals(*child)) {
            return child;
        }
        const TxContainerNode* container = child->AsContainer();
        if (container && container->NodeCount() > 0)
            stack.Push({container, 0, offset}); // frame is not used after this
    }
    return nullptr;
}

TXmlNode* TXmlNode::NodeByName(std::string_view name) const
{
    TxNameFolder folder(name);
    for (int i = 0; i < NodeCount(); ++i) {
        base::BudgetTick();
        TXmlNode* node = Nodes(i);
        if (node && folder.Equals(*node))
            return node;
    }
    return nullptr;
}

} // namespace addoscope::xml
