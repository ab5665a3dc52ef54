// Small text helpers shared across the program and the tools: trimming
// blanks, comparing ASCII names without regard to letter case, walking the
// lines of a text, and the folder and name parts of a path.
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

// The folder part of a path: the text before its last "/", "/" for a name
// right under the root, and "." for a bare name (the current folder, where
// the system looks for it). For opening, flushing and messages.
inline std::string folderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The name part of a path: the text after its last "/", all of a bare name.
inline std::string fileNameOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace tarvex
