// ConsolePrompter: the terminal form of the prompts, for runs over SSH and on
// machines without a display. Each message box is one line "[CAPTION] TEXT"
// on the output; questions then read one answer line, so a run can be driven
// from a terminal or through pipes alike. Output is flushed before every read.
// Control characters in a message are shown as escapes (see visibleText),
// and each line of its detail is indented.
#pragma once

#include "platform/prompt/Prompter.h"

#include <iosfwd>

namespace tarvex {

class ConsolePrompter : public Prompter {
public:
    // progressIsTerminal: whether err is a terminal; progress lines are only
    // drawn there, since a rewritten line is noise in a log file.
    // echoInput: whether each line read is written back to out. Answers that
    // come through a pipe are not echoed by a terminal, and without the echo
    // the output of a scripted run reads as one run-on line.
    ConsolePrompter(std::istream& in, std::ostream& out, std::ostream& err, bool progressIsTerminal,
                    bool echoInput = false);

    Answer showMessage(const Message& message) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    void setBusy(bool) override {}
    void processEvents(EventScope) override {}
    std::unique_ptr<Progress> beginProgress(const std::string& title, const std::string& label,
                                            bool cancellable) override;

    // Reads one line of input after flushing the output; nothing at the end of
    // input. A trailing CR (a line typed on Windows) is dropped.
    std::optional<std::string> readLine();

    std::istream& in() { return m_in; }
    std::ostream& out() { return m_out; }
    std::ostream& err() { return m_err; }

private:
    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_progressIsTerminal;
    bool m_echoInput;
};

// Whether Ctrl+C was pressed (or SIGTERM, SIGHUP or SIGQUIT came) since a
// cancellable progress began; that progress then reports a cancel so that the
// work stops at a safe point instead of being killed.
bool consoleInterruptRequested();

} // namespace tarvex
