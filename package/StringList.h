#pragma once
#include "base/SeededHash.h"

#include <string>
#include <unordered_map>
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

} // namespace addoscope::package
