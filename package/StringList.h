#pragma once
#include "base/SeededHash.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace addoscope::package {

// An unsorted list of texts in the order added. An entry's name is the text
// before its first "="; names are looked up case-insensitively by the
// user's locale rules. A hash index over the folded names keeps look-ups
// constant-time, so a description listing a great many target applications
// cannot make reading it quadratic; the index is keyed afresh for every
// list, since the names come from the file and a fixed string hash lets
// a file be made whose names all share one bucket.
class TStringList {
public:
    void Add(std::u16string text);
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::u16string& operator[](int index) const { return FItems[static_cast<size_t>(index)]; }

    // Index of the first entry whose name equals `name`, or -1.
    int IndexOfName(std::u16string_view name) const;
    // The text after "=" of the entry at `index`.
    std::u16string ValueFromIndex(int index) const;

private:
    std::vector<std::u16string> FItems;
    std::unordered_map<std::u16string, int, base::TSeededStringHash> FFirstByName; // folded name -> first index
};

// Distinct texts joined with ", " in the order first offered, for the list
// fields whose entries come from the file (permissions, locales). Bounded:
// the joined text stops short of MaxJoinedLength units (an entry that does
// not fit ends the list), and once the texts offered, repeats included, add
// up to a few times that, later ones are ignored too. Repeats are found
// through a set keyed afresh for every list.
class TJoinedList {
public:
    static constexpr size_t MaxJoinedLength = 65536;

    // False once the list takes no more texts.
    bool Add(std::u16string_view text);
    bool Full() const { return FFull; }
    const std::u16string& Text() const { return FText; }

private:
    std::u16string FText;
    std::unordered_set<std::u16string, base::TSeededStringHash, std::equal_to<>> FSeen;
    size_t FOffered = 0;
    bool FFull = false;
};

} // namespace addoscope::package
