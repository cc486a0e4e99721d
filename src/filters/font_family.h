// The family name stored in a font file, by which the subtitle renderer picks the font.
#pragma once

#include <string>

namespace zembra::filters {

// The family name (UTF-8) of the first font in the TrueType/OpenType file or collection at
// `path`, as subtitle renderers match it: the Windows-platform name preferred (US English
// first), then the Unicode and Macintosh ones. Empty when the file cannot be read or names
// no family.
std::string FontFamilyName(const std::string& path);

}  // namespace zembra::filters
