// Utf8: writing UTF-8, the program's one text encoding, from code points and
// from UTF-16 as Windows files and Access databases store it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex {

// Appends the code point cp to out as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

// UTF-16 text (without a byte-order mark) as UTF-8. A lone surrogate becomes
// U+FFFD; an odd last byte is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

} // namespace tarvex
