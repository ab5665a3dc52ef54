// Reading one value from an INI settings file the way the Windows private-
// profile call reads it: the file is read whole (it is small), split into
// lines, and scanned for the first section of the wanted name and, inside it,
// the first line that sets the wanted key.
//
// The files read here come from outside the program (another application's
// settings, a file the user points at), so the reader refuses anything that is
// not an ordinary file of reasonable size and never reads more than that size.
#include "platform/desktop/PrivateProfile.h"

#include "platform/os/SmallFile.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/Utf8.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvex {

namespace {

// Settings files are a few kilobytes; anything past this is not one, and
// reading it would only cost time and memory.
constexpr std::size_t kMaxProfileBytes = 16 * 1024 * 1024;

// The file's text as UTF-8 (or as the single-byte text it is), without a
// byte-order mark.
std::string decodeText(std::string bytes)
{
    std::string_view view(bytes);
    if (view.substr(0, 3) == "\xEF\xBB\xBF")
        return bytes.substr(3);
    if (view.substr(0, 2) == "\xFF\xFE")
        return utf16ToUtf8(view.substr(2), false);
    if (view.substr(0, 2) == "\xFE\xFF")
        return utf16ToUtf8(view.substr(2), true);
    return bytes;
}

// The blanks trimmed from lines, names and values. Ctrl-Z (0x1A) is the
// end-of-file mark old DOS editors leave after the last line; the Windows
// call trims it like a blank, so a value before it keeps none of it.
constexpr std::string_view kBlanks = " \t\v\f\x1A";

std::string_view trim(std::string_view text)
{
    return trimmed(text, kBlanks);
}

// The first at most kProfileValueLimit bytes of text, shortened further when
// the cut would fall inside a UTF-8 sequence, so that the result is never a
// broken character.
std::string cutToLimit(std::string_view text)
{
    if (text.size() <= kProfileValueLimit)
        return std::string(text);
    std::size_t cut = kProfileValueLimit;
    std::size_t start = cut;
    while (start > 0 && cut - start < 3 && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80)
        --start;
    auto lead = static_cast<std::uint8_t>(text[start]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (start < cut && start + length > cut)
        cut = start;
    return std::string(text.substr(0, cut));
}

// A value as the call hands it back: one pair of matching quotes removed,
// then cut to the limit.
std::string finishValue(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return cutToLimit(value);
}

// The value of key in the first section named section, when a line sets it.
std::optional<std::string_view> findValue(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        // CR LF counts as one line end; a lone CR or LF as one each.
        pos = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);

        // A NUL byte ends the line's text, as it ends a C string.
        line = line.substr(0, line.find('\0'));
        line = trim(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            // A header without its closing bracket is ignored: the lines after
            // it stay in the section before.
            if (close == std::string_view::npos)
                continue;
            if (inSection)
                return std::nullopt; // only the first section of the name is searched
            inSection = sameIgnoringCase(trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        std::size_t equals = line.find('=');
        // A line without "=" names a key with no value; the call then gives the
        // default, as for a missing key.
        std::string_view name = trim(line.substr(0, equals));
        if (!sameIgnoringCase(name, key))
            continue;
        if (equals == std::string_view::npos)
            return std::nullopt;
        return trim(line.substr(equals + 1));
    }
    return std::nullopt;
}

} // namespace

std::string readPrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& file)
{
    // The call hands back the default without its trailing blanks.
    std::string_view fallback = defaultValue;
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);

    std::optional<std::string> bytes = readSmallFile(file, kMaxProfileBytes);
    if (!bytes)
        return cutToLimit(fallback);
    std::string text = decodeText(std::move(*bytes));
    std::optional<std::string_view> value = findValue(text, section, key);
    if (!value)
        return cutToLimit(fallback);
    return finishValue(*value);
}

} // namespace tarvex
