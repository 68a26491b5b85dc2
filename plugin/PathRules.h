#pragma once
// File-name rules of the value requests, kept apart so that they can be
// tested on every platform.
#include <string>

namespace addoscope::plugin {

// Names of 256 characters or more get the long-name prefix: "\\?\" in
// front, or "\\?\UNC\" in place of the two backslashes of a network path;
// a name that has the prefix already, and any shorter name, is unchanged.
std::u16string PrefixLongName(const std::u16string& name);

// Everything up to and including the last "\" or ":" (and, for POSIX
// paths, "/"); empty when there is none.
std::u16string FolderPart(const std::u16string& name);

} // namespace addoscope::plugin
