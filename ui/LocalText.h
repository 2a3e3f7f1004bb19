#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace vesperkeep {

// Converts between the program's 8-bit texts and Qt's, in the encoding of the process locale
// (LC_CTYPE). Qt's own local 8-bit conversion assumes UTF-8 on Unix whatever the locale says.
// Bytes that are not valid in the encoding show as U+FFFD.
QString DecodeLocalText(std::string_view bytes);

// Characters the encoding cannot hold become '?'.
std::string EncodeLocalText(const QString& text);

} // namespace vesperkeep
