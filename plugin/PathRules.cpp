#include "plugin/PathRules.h"

namespace addoscope::plugin {

std::u16string PrefixLongName(const std::u16string& name)
{
    if (name.size() < 256 || name.rfind(u"\\\\?\\", 0) == 0)
        return name;
    if (name.rfind(u"\\\\", 0) == 0)
        return u"\\\\?\\UNC\\" + name.substr(2);
    return u"\\\\?\\" + name;
}

std::u16string FolderPart(const std::u16string& name)
{
    const size_t last = name.find_last_of(u"\\:/");
    return last == std::u16string::npos ? std::u16string() : name.substr(0, last + 1);
}

} // namespace addoscope::plugin
