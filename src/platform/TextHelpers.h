// Small text helpers shared by the settings-file readers and the tools:
// trimming blanks, comparing ASCII names without regard to letter case, and
// walking the lines of a text.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// text without any of the characters of blanks at its start.
inline std::string_view trimmedStart(std::string_view text, std::string_view blanks = " \t")
{
    std::size_t first = text.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// text without any of the characters of blanks at its end.
inline std::string_view trimmedEnd(std::string_view text, std::string_view blanks = " \t")
{
    std::size_t last = text.find_last_not_of(blanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// text without any of the characters of blanks at either end.
inline std::string_view trimmed(std::string_view text, std::string_view blanks = " \t")
{
    return trimmedStart(trimmedEnd(text, blanks), blanks);
}

// c made small when it is an ASCII capital.
inline char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// text with its ASCII capitals made small; other bytes (UTF-8 included) stay.
inline std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = lowerAscii(c);
    return lower;
}

// Whether a and b are the same text when ASCII letter case is not counted.
inline bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

// Calls visit with each line of text (LF or CR LF ended), without blanks or
// tabs around it, until visit returns false.
template <class Visit> void forEachLine(std::string_view text, Visit visit)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (!visit(trimmedStart(trimmedEnd(text.substr(pos, end - pos), " \t\r"))))
            return;
        pos = end + 1;
    }
}

} // namespace tarvex
