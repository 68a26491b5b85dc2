#include "package/PlaceholderIndex.h"

#include "base/Budget.h"
#include "base/SeededHash.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace addoscope::package::detail {

std::u16string PatternOf(std::u16string_view name)
{
    std::u16string pattern;
    pattern.reserve(name.size() + 2);
    pattern += u'$';
    pattern += name;
    pattern += u'$';
    return pattern;
}

namespace {

// An occurrence of "$" + name + "$" always begins and ends at a "$" of the
// text, so the text is kept as its "$"-separated segments: the text is
// segment 0, "$", segment 1, "$", ... An occurrence is a run of consecutive
// segments (as many as the name has "$"-separated pieces) equal, folded,
// to the pieces of the name, with a "$" on either side. Every segment
// carries a key of its folded content (a polynomial hash modulo 2^61 - 1
// with a random base, and the length), and the segments whose key is that
// of some piece of some name sit in that key's bucket. A pass finds its
// candidates in the bucket of its rarest piece, checks each exactly, so no
// result depends on a hash collision, and replaces the occurrences: the
// segments before and after an occurrence absorb the content's first and
// last pieces, and its middle pieces become segments of their own.
// Segments hold their text as lists of chunks of the source texts (the
// message and the contents), so joining costs nothing, and a joined key is
// computed from its parts. A pass costs its candidates, never the text.
//
// Folding is done once per source text. The case mapping works code point
// by code point and "$" is no surrogate, so the folded text is the
// concatenation of the folded sources, except where a chunk ending in a
// high surrogate meets one starting with a low surrogate: there the pair
// folds as one code point, and keys and checks account for it.

constexpr uint64_t HashModulus = (uint64_t(1) << 61) - 1;
constexpr uint32_t Nil = 0xFFFFFFFFu;
constexpr uint32_t MarkBit = 0x80000000u;

uint64_t AddMod(uint64_t a, uint64_t b)
{
    const uint64_t sum = a + b;
    return sum >= HashModulus ? sum - HashModulus : sum;
}

uint64_t SubMod(uint64_t a, uint64_t b)
{
    return a >= b ? a - b : a + HashModulus - b;
}

// a * b modulo 2^61 - 1 with 64-bit products only (the 32-bit build has no
// 128-bit integers).
uint64_t MulMod(uint64_t a, uint64_t b)
{
    constexpr uint64_t Low31 = (uint64_t(1) << 31) - 1;
    constexpr uint64_t Low30 = (uint64_t(1) << 30) - 1;
    const uint64_t aHigh = a >> 31, aLow = a & Low31;
    const uint64_t bHigh = b >> 31, bLow = b & Low31;
    // a * b = high * 2^62 + middle * 2^31 + low, and 2^61 is 1.
    const uint64_t middle = aLow * bHigh + aHigh * bLow;
    uint64_t sum = ((aHigh * bHigh) << 1) + (middle >> 30) + ((middle & Low30) << 31) + aLow * bLow;
    sum = (sum & HashModulus) + (sum >> 61);
    sum = (sum & HashModulus) + (sum >> 61);
    return sum >= HashModulus ? sum - HashModulus : sum;
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Raised inside the indexed form to leave it.
struct TStop {
    TOutcome FOutcome;
};

class TIndexedText {
public:
    TIndexedText(size_t cap, size_t workLimit) : FCap(cap), FWorkLimit(workLimit)
    {
        // A base in [2^20, 2^61 - 1), unknown outside this table.
        FBase = (1u << 20) + base::TSeededHash().Seed() % (HashModulus - (1u << 20));
    }

    TOutcome Run(std::u16string& text, const std::vector<TPlaceholderText>& placeholders)
    {
        try {
            Setup(text, placeholders);
            for (size_t index = 0; index < placeholders.size(); ++index)
                Pass(index, placeholders[index]);
            Materialise(text);
            return TOutcome::Done;
        } catch (const TStop& stop) {
            return stop.FOutcome;
        }
    }

private:
    struct TChunk {
        uint32_t FOffset;
        uint32_t FLength;
        uint32_t FNext;
    };

    struct TSegment {
        uint64_t FHash = 0; // of the folded content
        uint32_t FLength = 0; // in units; MarkBit marks an occurrence during a pass
        uint32_t FFirst = Nil, FLast = Nil; // chunks
        uint32_t FPrev = Nil, FNext = Nil; // neighbours in the text
        uint32_t FBucketPrev = Nil, FBucketNext = Nil; // circular through the key's sentinel
    };

    // A key that some piece of some name has.
    struct TWanted {
        uint64_t FHash;
        uint32_t FLength;
        uint32_t FCount; // segments in the bucket
        uint32_t FSentinel;
    };

    // A piece of a name ("$"-separated, folded) or of a content.
    struct TPiece {
        uint32_t FOffset; // in FPatterns for names, in FRaw / FFolded for contents
        uint32_t FLength;
        uint64_t FHash;
        uint32_t FWanted;
    };

    struct TPlaceholderPieces {
        uint32_t FNameFirst = 0, FNameCount = 0; // in FNamePieces
        uint32_t FContentFirst = Nil, FContentCount = 0; // in FContentPieces, once used
        uint32_t FPatternLength = 0;
    };

    void Spend(size_t work)
    {
        FWork += work;
        base::BudgetTick(static_cast<int64_t>(work));
        if (FWork > FWorkLimit)
            throw TStop{TOutcome::Exceeded};
    }

    uint64_t Power(uint32_t exponent) const
    {
        uint64_t result = 1, square = FBase;
        for (; exponent != 0; exponent >>= 1) {
            if (exponent & 1)
                result = MulMod(result, square);
            square = MulMod(square, square);
        }
        return result;
    }

    uint64_t HashOf(const char16_t* folded, size_t length) const
    {
        uint64_t hash = 0;
        for (size_t i = 0; i < length; ++i)
            hash = AddMod(MulMod(hash, FBase), folded[i]);
        return hash;
    }

    static std::u16string Upper(std::u16string_view text)
    {
        std::u16string folded = platform::UpperCase(text);
        // The plain algorithm would fold in ASCII only here; that form is
        // left to the direct replacement.
        if (folded.size() != text.size())
            throw TStop{TOutcome::NotExact};
        return folded;
    }

    // ---- Wanted keys

    uint32_t Slot(uint64_t hash, uint32_t length) const
    {
        uint64_t key[2] = {hash, length};
        return static_cast<uint32_t>(FSlotHash(key, sizeof key)) & (static_cast<uint32_t>(FSlots.size()) - 1);
    }

    uint32_t FindWanted(uint64_t hash, uint32_t length) const
    {
        for (uint32_t slot = Slot(hash, length);; slot = (slot + 1) & (static_cast<uint32_t>(FSlots.size()) - 1)) {
            const uint32_t wanted = FSlots[slot];
            if (wanted == Nil || (FWanted[wanted].FHash == hash && FWanted[wanted].FLength == length))
                return wanted;
        }
    }

    uint32_t Want(uint64_t hash, uint32_t length)
    {
        uint32_t slot = Slot(hash, length);
        for (; FSlots[slot] != Nil; slot = (slot + 1) & (static_cast<uint32_t>(FSlots.size()) - 1)) {
            const TWanted& wanted = FWanted[FSlots[slot]];
            if (wanted.FHash == hash && wanted.FLength == length)
                return FSlots[slot];
        }
        const uint32_t sentinel = NewSegment();
        FSegments[sentinel].FBucketPrev = FSegments[sentinel].FBucketNext = sentinel;
        FSlots[slot] = static_cast<uint32_t>(FWanted.size());
        FWanted.push_back(TWanted{hash, length, 0, sentinel});
        return FSlots[slot];
    }

    // ---- Storage

    uint32_t NewChunk(uint32_t offset, uint32_t length)
    {
        uint32_t chunk = FFreeChunks;
        if (chunk != Nil) {
            FFreeChunks = FChunks[chunk].FNext;
            FChunks[chunk] = TChunk{offset, length, Nil};
        } else {
            chunk = static_cast<uint32_t>(FChunks.size());
            FChunks.push_back(TChunk{offset, length, Nil});
        }
        return chunk;
    }

    uint32_t NewSegment()
    {
        uint32_t segment = FFreeSegments;
        if (segment != Nil) {
            FFreeSegments = FSegments[segment].FNext;
            FSegments[segment] = TSegment();
        } else {
            segment = static_cast<uint32_t>(FSegments.size());
            FSegments.emplace_back();
        }
        return segment;
    }

    // Frees a segment that is out of its bucket and unlinked; `withChunks`
    // frees its chunks too.
    void FreeSegment(uint32_t segment, bool withChunks)
    {
        TSegment& s = FSegments[segment];
        if (withChunks) {
            for (uint32_t chunk = s.FFirst; chunk != Nil;) {
                const uint32_t next = FChunks[chunk].FNext;
                FChunks[chunk].FNext = FFreeChunks;
                FFreeChunks = chunk;
                chunk = next;
                Spend(1);
            }
        }
        s.FNext = FFreeSegments;
        FFreeSegments = segment;
    }

    void Charge()
    {
        FCharge.Resize(static_cast<int64_t>(FRaw.capacity() * 2 + FFolded.capacity() * 2 + FPatterns.capacity() * 2 +
                                            FChunks.capacity() * sizeof(TChunk) +
                                            FSegments.capacity() * sizeof(TSegment) +
                                            FWanted.capacity() * sizeof(TWanted) + FSlots.capacity() * 4 +
                                            (FNamePieces.capacity() + FContentPieces.capacity()) * sizeof(TPiece)));
    }

    // ---- Buckets

    void Bucket(uint32_t segment)
    {
        TSegment& s = FSegments[segment];
        const uint32_t wanted = FindWanted(s.FHash, s.FLength & ~MarkBit);
        if (wanted == Nil)
            return;
        const uint32_t sentinel = FWanted[wanted].FSentinel;
        const uint32_t after = FSegments[sentinel].FBucketNext;
        s.FBucketPrev = sentinel;
        s.FBucketNext = after;
        FSegments[after].FBucketPrev = segment;
        FSegments[sentinel].FBucketNext = segment;
        ++FWanted[wanted].FCount;
    }

    void Unbucket(uint32_t segment)
    {
        TSegment& s = FSegments[segment];
        if (s.FBucketNext == Nil)
            return;
        FSegments[s.FBucketPrev].FBucketNext = s.FBucketNext;
        FSegments[s.FBucketNext].FBucketPrev = s.FBucketPrev;
        s.FBucketPrev = s.FBucketNext = Nil;
        --FWanted[FindWanted(s.FHash, s.FLength & ~MarkBit)].FCount;
    }

    // ---- Keys of joined text

    // Makes `x` the key of x's text followed by the text (hash, length)
    // whose first chunk is `yFirst`; `xLast` is x's last chunk.
    void JoinKey(TSegment& x, uint32_t xLast, uint64_t yHash, uint32_t yLength, uint32_t yFirst) const
    {
        const uint32_t xLength = x.FLength & ~MarkBit;
        if (yLength == 0)
            return;
        if (xLength == 0) {
            x.FHash = yHash;
            x.FLength = yLength;
            return;
        }
        const uint32_t xEnd = FChunks[xLast].FOffset + FChunks[xLast].FLength - 1;
        const uint32_t yStart = FChunks[yFirst].FOffset;
        const uint64_t shift = Power(yLength);
        if (IsHighSurrogate(FRaw[xEnd]) && IsLowSurrogate(FRaw[yStart])) {
            // The two halves meet: they fold as one code point now.
            const char16_t pair[2] = {FRaw[xEnd], FRaw[yStart]};
            const std::u16string folded = Upper(std::u16string_view(pair, 2));
            const uint64_t head = AddMod(SubMod(x.FHash, FFolded[xEnd]), folded[0]);
            const uint64_t second = SubMod(folded[1], FFolded[yStart]);
            x.FHash = AddMod(AddMod(MulMod(head, shift), MulMod(second, Power(yLength - 1))), yHash);
        } else {
            x.FHash = AddMod(MulMod(x.FHash, shift), yHash);
        }
        x.FLength = xLength + yLength;
    }

    void AppendPiece(uint32_t segment, const TPiece& piece)
    {
        if (piece.FLength == 0)
            return;
        const uint32_t chunk = NewChunk(piece.FOffset, piece.FLength);
        TSegment& s = FSegments[segment];
        JoinKey(s, s.FLast, piece.FHash, piece.FLength, chunk);
        if (s.FLast == Nil)
            s.FFirst = chunk;
        else
            FChunks[s.FLast].FNext = chunk;
        s.FLast = chunk;
    }

    void PrependPiece(uint32_t segment, const TPiece& piece)
    {
        if (piece.FLength == 0)
            return;
        const uint32_t chunk = NewChunk(piece.FOffset, piece.FLength);
        TSegment& s = FSegments[segment];
        TSegment joined;
        joined.FHash = piece.FHash;
        joined.FLength = piece.FLength;
        JoinKey(joined, chunk, s.FHash, s.FLength & ~MarkBit, s.FFirst);
        s.FHash = joined.FHash;
        s.FLength = joined.FLength;
        FChunks[chunk].FNext = s.FFirst;
        s.FFirst = chunk;
        if (s.FLast == Nil)
            s.FLast = chunk;
    }

    // Moves the text of `right`, the segment after `left`, onto the end of
    // `left` and frees `right`; both are out of their buckets.
    void Absorb(uint32_t left, uint32_t right)
    {
        TSegment& l = FSegments[left];
        const TSegment& r = FSegments[right];
        JoinKey(l, l.FLast, r.FHash, r.FLength & ~MarkBit, r.FFirst);
        if (r.FFirst != Nil) {
            if (l.FLast == Nil)
                l.FFirst = r.FFirst;
            else
                FChunks[l.FLast].FNext = r.FFirst;
            l.FLast = r.FLast;
        }
        l.FNext = r.FNext;
        if (r.FNext != Nil)
            FSegments[r.FNext].FPrev = left;
        FreeSegment(right, false);
    }

    // ---- Pieces

    // Splits folded text at its "$" into pieces; `offset` is where the text
    // starts in its buffer.
    void Split(const char16_t* folded, uint32_t length, uint32_t offset, std::vector<TPiece>& pieces)
    {
        uint32_t start = 0;
        for (uint32_t i = 0;; ++i) {
            if (i == length || folded[i] == u'$') {
                const uint64_t hash = HashOf(folded + start, i - start);
                pieces.push_back(TPiece{offset + start, i - start, hash, Nil});
                Spend(1 + (i - start) / 8);
                if (i == length)
                    break;
                start = i + 1;
            }
        }
    }

    uint32_t Append(std::u16string_view text)
    {
        if (text.size() > LargestCap - FRaw.size())
            throw TStop{TOutcome::Exceeded};
        const auto offset = static_cast<uint32_t>(FRaw.size());
        FRaw += text;
        FFolded += Upper(text);
        return offset;
    }

    void Setup(const std::u16string& text, const std::vector<TPlaceholderText>& placeholders)
    {
        if (text.size() > FCap)
            throw TStop{TOutcome::Exceeded};
        // Names, folded as patterns, and their pieces.
        FPieces.resize(placeholders.size());
        for (size_t index = 0; index < placeholders.size(); ++index) {
            const std::u16string pattern = PatternOf(placeholders[index].FName);
            if (pattern.size() > LargestCap - FPatterns.size())
                throw TStop{TOutcome::Exceeded};
            const std::u16string folded = Upper(pattern);
            TPlaceholderPieces& pieces = FPieces[index];
            pieces.FPatternLength = static_cast<uint32_t>(folded.size());
            pieces.FNameFirst = static_cast<uint32_t>(FNamePieces.size());
            const auto offset = static_cast<uint32_t>(FPatterns.size() + 1);
            FPatterns += folded;
            Split(folded.data() + 1, static_cast<uint32_t>(folded.size() - 2), offset, FNamePieces);
            pieces.FNameCount = static_cast<uint32_t>(FNamePieces.size()) - pieces.FNameFirst;
        }
        size_t slots = 16;
        while (slots < 2 * FNamePieces.size())
            slots *= 2;
        FSlots.assign(slots, Nil);
        for (TPiece& piece : FNamePieces)
            piece.FWanted = Want(piece.FHash, piece.FLength);

        // The text's own segments, made in place: a text of nothing but
        // "$" has as many segments as units.
        Append(text);
        const size_t dollars = static_cast<size_t>(std::count(text.begin(), text.end(), u'$'));
        Spend(1 + dollars + text.size() / 16);
        FSegments.reserve(FSegments.size() + dollars + 1);
        FChunks.reserve(std::min(dollars + 1, text.size() - dollars));
        const char16_t* folded = FFolded.data();
        uint32_t previous = Nil, start = 0;
        const auto length = static_cast<uint32_t>(text.size());
        for (uint32_t i = 0;; ++i) {
            if (i != length && folded[i] != u'$')
                continue;
            const uint32_t segment = NewSegment();
            TSegment& s = FSegments[segment];
            s.FHash = HashOf(folded + start, i - start);
            s.FLength = i - start;
            if (i != start)
                s.FFirst = s.FLast = NewChunk(start, i - start);
            s.FPrev = previous;
            if (previous == Nil)
                FHead = segment;
            else
                FSegments[previous].FNext = segment;
            previous = segment;
            Bucket(segment);
            Spend(1 + (i - start) / 8);
            if (i == length)
                break;
            start = i + 1;
        }
        FLength = text.size();
        Charge();
    }

    // The content's pieces, made when the placeholder first replaces.
    void PrepareContent(TPlaceholderPieces& pieces, const std::u16string& content)
    {
        if (pieces.FContentFirst != Nil)
            return;
        const uint32_t offset = Append(content);
        pieces.FContentFirst = static_cast<uint32_t>(FContentPieces.size());
        Split(FFolded.data() + offset, static_cast<uint32_t>(content.size()), offset, FContentPieces);
        pieces.FContentCount = static_cast<uint32_t>(FContentPieces.size()) - pieces.FContentFirst;
        for (uint32_t i = 0; i < pieces.FContentCount; ++i) {
            TPiece& piece = FContentPieces[pieces.FContentFirst + i];
            piece.FWanted = FindWanted(piece.FHash, piece.FLength);
        }
    }

    // ---- Matching

    bool Marked(uint32_t segment) const { return (FSegments[segment].FLength & MarkBit) != 0; }

    // Whether the segment's folded text is the name piece, exactly.
    bool Matches(uint32_t segment, const TPiece& piece)
    {
        const TSegment& s = FSegments[segment];
        if (s.FHash != piece.FHash || (s.FLength & ~MarkBit) != piece.FLength)
            return false;
        Spend(1 + piece.FLength / 8);
        const char16_t* want = FPatterns.data() + piece.FOffset;
        uint32_t at = 0;
        char16_t before = 0; // the unit before the chunk, as written
        for (uint32_t chunk = s.FFirst; chunk != Nil; chunk = FChunks[chunk].FNext) {
            const TChunk& c = FChunks[chunk];
            if (at != 0 && IsHighSurrogate(before) && IsLowSurrogate(FRaw[c.FOffset]))
                return MatchesJoined(segment, piece);
            if (std::memcmp(FFolded.data() + c.FOffset, want + at, c.FLength * sizeof(char16_t)) != 0)
                return false;
            at += c.FLength;
            before = FRaw[c.FOffset + c.FLength - 1];
        }
        return true;
    }

    // The same where two halves of a surrogate pair meet inside the
    // segment: its text is folded as a whole.
    bool MatchesJoined(uint32_t segment, const TPiece& piece)
    {
        std::u16string raw;
        for (uint32_t chunk = FSegments[segment].FFirst; chunk != Nil; chunk = FChunks[chunk].FNext)
            raw.append(FRaw, FChunks[chunk].FOffset, FChunks[chunk].FLength);
        const std::u16string folded = Upper(raw);
        return std::u16string_view(folded) == std::u16string_view(FPatterns.data() + piece.FOffset, piece.FLength);
    }

    uint32_t Prev(uint32_t segment) const { return FSegments[segment].FPrev; }
    uint32_t Next(uint32_t segment) const { return FSegments[segment].FNext; }

    // The occurrence whose anchor piece (at `anchor` in the name) is the
    // given segment: its first segment, or Nil.
    uint32_t OccurrenceAt(uint32_t segment, uint32_t anchor, const TPlaceholderPieces& pieces)
    {
        Spend(pieces.FNameCount);
        uint32_t first = segment;
        for (uint32_t i = 0; i < anchor && first != Nil; ++i)
            first = Prev(first);
        // A "$" must precede the first segment and follow the last.
        if (first == Nil || Prev(first) == Nil)
            return Nil;
        uint32_t current = first;
        for (uint32_t i = 0; i < pieces.FNameCount; ++i) {
            if (current == Nil || Next(current) == Nil)
                return Nil;
            if (!Matches(current, FNamePieces[pieces.FNameFirst + i]))
                return Nil;
            current = Next(current);
        }
        return first;
    }

    void Pass(size_t index, const TPlaceholderText& placeholder)
    {
        TPlaceholderPieces& pieces = FPieces[index];
        const uint32_t count = pieces.FNameCount;
        Spend(count);
        // The rarest piece anchors the search; an absent one ends it.
        uint32_t anchor = 0;
        for (uint32_t i = 1; i < count; ++i)
            if (FWanted[FNamePieces[pieces.FNameFirst + i].FWanted].FCount <
                FWanted[FNamePieces[pieces.FNameFirst + anchor].FWanted].FCount)
                anchor = i;
        const TWanted& wanted = FWanted[FNamePieces[pieces.FNameFirst + anchor].FWanted];
        if (wanted.FCount == 0)
            return;

        FStarts.clear();
        const uint32_t sentinel = wanted.FSentinel;
        for (uint32_t at = FSegments[sentinel].FBucketNext; at != sentinel; at = FSegments[at].FBucketNext) {
            const uint32_t first = OccurrenceAt(at, anchor, pieces);
            if (first != Nil) {
                FSegments[first].FLength |= MarkBit;
                FStarts.push_back(first);
            }
        }
        if (FStarts.empty())
            return;

        // Left to right without overlaps: an occurrence takes `count`
        // segments and the "$" after them, so the next one can start no
        // sooner than count + 1 segments on. Each cluster of occurrences
        // (less than count + 1 segments apart) is walked from its first.
        FPicks.clear();
        for (const uint32_t start : FStarts) {
            bool first = true;
            uint32_t before = start;
            for (uint32_t i = 0; i < count && first; ++i) {
                before = Prev(before);
                if (before == Nil)
                    break;
                first = !Marked(before);
            }
            Spend(count);
            if (!first)
                continue;
            FPicks.push_back(start);
            uint32_t blocked = count, quiet = 0;
            for (uint32_t at = Next(start); at != Nil; at = Next(at)) {
                Spend(1);
                if (Marked(at)) {
                    quiet = 0;
                    if (blocked == 0) {
                        FPicks.push_back(at);
                        blocked = count;
                        continue;
                    }
                } else if (++quiet == count) {
                    break;
                }
                if (blocked != 0)
                    --blocked;
            }
        }
        for (const uint32_t start : FStarts)
            FSegments[start].FLength &= ~MarkBit;

        // The new length, before anything is built.
        const size_t patternLength = pieces.FPatternLength;
        const size_t content = placeholder.FContent.size();
        const size_t kept = FLength - FPicks.size() * patternLength;
        if (content != 0 && FPicks.size() > (FCap - kept) / content)
            throw TStop{TOutcome::Exceeded};
        FLength = kept + FPicks.size() * content;

        PrepareContent(pieces, placeholder.FContent);
        const TPiece* parts = FContentPieces.data() + pieces.FContentFirst;
        const uint32_t last = pieces.FContentCount - 1;
        for (const uint32_t start : FPicks) {
            Spend(count + pieces.FContentCount);
            const uint32_t left = Prev(start);
            uint32_t right = start;
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t next = Next(right);
                Unbucket(right);
                FreeSegment(right, true);
                right = next;
            }
            Unbucket(left);
            Unbucket(right);
            FSegments[left].FNext = right;
            FSegments[right].FPrev = left;
            AppendPiece(left, parts[0]);
            if (last == 0) {
                Absorb(left, right);
            } else {
                uint32_t previous = left;
                for (uint32_t i = 1; i < last; ++i) {
                    const uint32_t segment = NewSegment();
                    TSegment& s = FSegments[segment];
                    s.FHash = parts[i].FHash;
                    s.FLength = parts[i].FLength;
                    if (parts[i].FLength != 0)
                        s.FFirst = s.FLast = NewChunk(parts[i].FOffset, parts[i].FLength);
                    s.FPrev = previous;
                    s.FNext = right;
                    FSegments[previous].FNext = segment;
                    FSegments[right].FPrev = segment;
                    if (parts[i].FWanted != Nil)
                        Bucket(segment);
                    previous = segment;
                }
                PrependPiece(right, parts[last]);
                Bucket(right);
            }
            Bucket(left);
        }
        Charge();
    }

    void Materialise(std::u16string& text)
    {
        text.clear();
        text.reserve(FLength);
        for (uint32_t segment = FHead; segment != Nil; segment = Next(segment)) {
            if (segment != FHead)
                text += u'$';
            for (uint32_t chunk = FSegments[segment].FFirst; chunk != Nil; chunk = FChunks[chunk].FNext) {
                text.append(FRaw, FChunks[chunk].FOffset, FChunks[chunk].FLength);
                Spend(1 + FChunks[chunk].FLength / 16);
            }
            Spend(1);
        }
    }

    size_t FCap;
    size_t FWorkLimit;
    size_t FWork = 0;
    uint64_t FBase;

    std::u16string FRaw, FFolded; // the source texts, as written and folded
    std::u16string FPatterns; // the folded patterns
    std::vector<TChunk> FChunks;
    uint32_t FFreeChunks = Nil;
    std::vector<TSegment> FSegments;
    uint32_t FFreeSegments = Nil;
    uint32_t FHead = Nil;
    size_t FLength = 0; // of the whole text

    base::TSeededHash FSlotHash;
    std::vector<uint32_t> FSlots;
    std::vector<TWanted> FWanted;
    std::vector<TPiece> FNamePieces, FContentPieces;
    std::vector<TPlaceholderPieces> FPieces;
    std::vector<uint32_t> FStarts, FPicks;
    base::TBudgetCharge FCharge;
};

} // namespace

TOutcome SubstituteIndexed(std::u16string& text, const std::vector<TPlaceholderText>& placeholders, size_t cap,
                           size_t workLimit)
{
    return TIndexedText(cap, workLimit).Run(text, placeholders);
}

} // namespace addoscope::package::detail
