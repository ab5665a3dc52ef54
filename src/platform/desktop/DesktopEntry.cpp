// Desktop entries: the Exec key of the "Desktop Entry" group, its escapes,
// and the first word of its command line.
#include "platform/desktop/DesktopEntry.h"

#include "platform/os/ProgramSearch.h"
#include "platform/os/SmallFile.h"
#include "platform/text/TextHelpers.h"

#include <string_view>

namespace tarvex {

namespace {

// A desktop entry is a few kilobytes; past this a file is not one.
constexpr std::size_t kMaxEntryBytes = 1024 * 1024;

// A key or value without the blanks around it (and a carriage return).
std::string_view withoutBlanks(std::string_view text)
{
    return trimmedStart(trimmedEnd(text, " \t\r"));
}

// A desktop entry value with its escapes (\s \n \t \r \\) turned into the
// characters they stand for.
std::string unescapeValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            // "\\" gives "\"; other pairs stay for the Exec quoting rules.
            if (next != '\\')
                out += '\\';
            out += next;
        }
    }
    return out;
}

// The program of an Exec command line: its first word. A quoted first word
// runs to the closing double quote, inside which a backslash makes the next
// character (", `, $ or \) literal. Nothing for an empty line or an
// unterminated quote.
std::optional<std::string> execProgram(std::string_view exec)
{
    std::size_t i = 0;
    while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t'))
        ++i;
    std::string program;
    if (i < exec.size() && exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size() &&
                std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
                ++i;
            program += exec[i];
        }
        if (i >= exec.size())
            return std::nullopt;
    } else {
        for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t' && exec[i] != '\n'; ++i)
            program += exec[i];
    }
    if (program.empty())
        return std::nullopt;
    return program;
}

} // namespace

std::optional<std::string> desktopEntryTarget(const std::string& path)
{
    std::optional<std::string> text = readSmallFile(path, kMaxEntryBytes);
    if (!text)
        return std::nullopt;
    std::string_view content = *text;
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    bool isEntry = false;
    bool inEntryGroup = false;
    std::optional<std::string> exec;
    forEachLine(content, [&](std::string_view line) {
        if (line.empty() || line.front() == '#')
            return true;
        if (line.front() == '[') {
            // Only the first "Desktop Entry" group counts; the action groups
            // after it have Exec keys of their own.
            if (isEntry)
                return false;
            inEntryGroup = isEntry = line == "[Desktop Entry]";
            return true;
        }
        if (!inEntryGroup)
            return true;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || withoutBlanks(line.substr(0, equals)) != "Exec")
            return true;
        exec = unescapeValue(withoutBlanks(line.substr(equals + 1)));
        return false;
    });
    // A desktop entry is text: a NUL byte in the command line means the file
    // is damaged, and a path cut short at it would name another program.
    if (!exec || exec->find('\0') != std::string::npos)
        return std::nullopt;
    std::optional<std::string> program = execProgram(*exec);
    if (!program)
        return std::nullopt;
    return findProgram(*program);
}

} // namespace tarvex
