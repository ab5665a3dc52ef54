// Message boxes, the file dialog and progress in a terminal.
#include "platform/prompt/ConsolePrompter.h"

#include "platform/os/StopSignals.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/VisibleText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string_view>

namespace tarvex {

namespace {

// Progress drawn on one rewritten line of the error stream. While a
// cancellable one lives, Ctrl+C, SIGTERM, SIGHUP and SIGQUIT ask for a cancel
// instead of ending the process, so a copy can remove its partial file on the
// way out.
class ConsoleProgress : public Progress {
public:
    ConsoleProgress(std::ostream& err, bool draw, std::string title, bool cancellable)
        : m_err(err)
        , m_draw(draw)
        , m_title(std::move(title))
        , m_cancellable(cancellable)
    {
        if (m_cancellable)
            m_stopSignals.emplace();
    }
    ~ConsoleProgress() override
    {
        if (m_drawn)
            m_err << '\n' << std::flush;
    }

    bool update(std::uint64_t done, std::uint64_t total) override
    {
        auto now = std::chrono::steady_clock::now();
        if (m_draw && (done == total || now - m_last >= std::chrono::milliseconds(200))) {
            m_last = now;
            int percent = total ? static_cast<int>(done * 100 / total) : 100;
            m_err << '\r' << m_title << ": " << percent << "% (" << done << " of " << total << ")" << std::flush;
            m_drawn = true;
        }
        return !(m_cancellable && StopSignals::requested());
    }

private:
    std::ostream& m_err;
    bool m_draw;
    std::string m_title;
    bool m_cancellable;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
    std::optional<StopSignals> m_stopSignals;
};

} // namespace

bool consoleInterruptRequested()
{
    return StopSignals::requested();
}

ConsolePrompter::ConsolePrompter(std::istream& in, std::ostream& out, std::ostream& err, bool progressIsTerminal,
                                 bool echoInput)
    : m_in(in)
    , m_out(out)
    , m_err(err)
    , m_progressIsTerminal(progressIsTerminal)
    , m_echoInput(echoInput)
{
}

std::optional<std::string> ConsolePrompter::readLine()
{
    m_out.flush();
    m_err.flush();
    std::string line;
    if (!std::getline(m_in, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (m_echoInput)
        m_out << line << '\n';
    return line;
}

Answer ConsolePrompter::showMessage(const Message& message)
{
    // Texts carry names and paths from files: their control characters are
    // shown as escapes, never sent to the terminal.
    m_out << '[' << visibleText(message.caption.empty() ? kProgramTitle : message.caption) << "] "
          << visibleText(message.text, true) << '\n';
    // Each line of the detail is indented under the message.
    std::string detail = visibleText(message.detail, true);
    for (std::size_t start = 0; start < detail.size();) {
        std::size_t end = std::min(detail.find('\n', start), detail.size());
        m_out << "    " << std::string_view(detail).substr(start, end - start) << '\n';
        start = end + 1;
    }

    if (message.buttons == MessageButtons::Ok) {
        m_out.flush();
        return Answer::Ok;
    }
    const bool yesNo = message.buttons == MessageButtons::YesNo;
    for (;;) {
        m_out << (yesNo ? "Answer yes or no: " : "Answer ok or cancel: ");
        std::optional<std::string> line = readLine();
        if (!line) {
            m_out << '\n';
            return yesNo ? Answer::No : Answer::Cancel;
        }
        std::string word = lowerAscii(trimmed(*line));
        if (yesNo && (word == "y" || word == "yes"))
            return Answer::Yes;
        if (yesNo && (word == "n" || word == "no"))
            return Answer::No;
        if (!yesNo && (word == "o" || word == "ok"))
            return Answer::Ok;
        if (!yesNo && (word == "c" || word == "cancel"))
            return Answer::Cancel;
    }
}

namespace {

// "the DESCRIPTION (PATTERN, PATTERN)"
std::string filterText(const std::string& description, const std::vector<std::string>& patterns)
{
    std::string listed;
    for (const std::string& pattern : patterns)
        listed += (listed.empty() ? "" : ", ") + pattern;
    return "the " + description + " (" + listed + ")";
}

} // namespace

std::optional<std::string> ConsolePrompter::chooseFile(const FileChoice& choice)
{
    m_out << '[' << choice.title << "] Path of " << filterText(choice.description, choice.patterns);
    for (const FileFilter& other : choice.otherFilters)
        m_out << " or of " << filterText(other.description, other.patterns);
    m_out << ", empty to cancel: ";
    std::optional<std::string> line = readLine();
    if (!line) {
        m_out << '\n';
        return std::nullopt;
    }
    if (line->empty())
        return std::nullopt;
    return line;
}

std::unique_ptr<Progress> ConsolePrompter::beginProgress(const std::string& title, const std::string&, bool cancellable)
{
    return std::make_unique<ConsoleProgress>(m_err, m_progressIsTerminal, title, cancellable);
}

} // namespace tarvex
