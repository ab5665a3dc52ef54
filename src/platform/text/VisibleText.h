// Texts that come from files or paths, made safe to show in a terminal or a
// printed list: a control character in a name could otherwise move the
// cursor, recolour or rewrite what the user reads, or start a line that looks
// like the program's own.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// text with every control character shown as an escape: C0 characters, DEL
// and ESC as "\x1b" (two hex digits), C1 characters (U+0080 to U+009F) as
// "\u009b", and each byte that is not part of valid UTF-8 as "\xff". Valid
// UTF-8 text, accented and non-Latin letters included, is returned unchanged.
// keepLineBreaks keeps "\n" as a line break, for texts the program composes
// itself with several lines; a value read from a file is shown without it.
std::string visibleText(std::string_view text, bool keepLineBreaks = false);

} // namespace tarvex
