// Escaping control characters and invalid UTF-8 for display.
#include "platform/text/VisibleText.h"

#include <cstdio>

namespace tarvex {

namespace {

void appendEscape(std::string& out, const char* format, unsigned value)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

// The length of the valid UTF-8 sequence that starts text[at], or 0 when the
// byte there does not start one (a stray continuation byte, an overlong form,
// a surrogate, a code point past U+10FFFF or a sequence cut short).
std::size_t sequenceLength(std::string_view text, std::size_t at)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned lead = byte(at);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    unsigned second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

} // namespace

std::string visibleText(std::string_view text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            appendEscape(out, "\\x%02x", lead);
            ++at;
        } else if ((lead < 0x20 && !(keepLineBreaks && lead == '\n')) || lead == 0x7F) {
            appendEscape(out, "\\x%02x", lead);
            ++at;
        } else if (lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            appendEscape(out, "\\u%04x", static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

} // namespace tarvex
