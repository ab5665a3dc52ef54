// A Prompter answered in advance: each message box takes the next queued
// answer (or the safe default when none is queued) and every box, dialog and
// progress is recorded for the test to check.
#pragma once

#include "platform/prompt/Prompter.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvex::test {

class ScriptedPrompter : public Prompter {
public:
    // Queues the answer for the next message box that asks a question.
    ScriptedPrompter& answer(Answer a)
    {
        m_answers.push_back(a);
        return *this;
    }
    // Queues the file the next file dialog returns; nothing means cancelled.
    ScriptedPrompter& chooseNext(std::optional<std::string> file)
    {
        m_files.push_back(std::move(file));
        return *this;
    }
    // Makes progress report a cancel once done reaches this many bytes.
    void cancelProgressAt(std::uint64_t done) { m_cancelAt = done; }

    Answer showMessage(const Message& message) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    void processEvents(EventScope) override { ++eventRuns; }
    std::unique_ptr<Progress> beginProgress(const std::string& title, const std::string& label,
                                            bool cancellable) override;

    std::vector<Message> messages;
    std::vector<FileChoice> fileChoices;
    std::vector<bool> busyChanges;
    std::vector<std::string> progressTitles;
    int eventRuns = 0;

private:
    std::deque<Answer> m_answers;
    std::deque<std::optional<std::string>> m_files;
    std::optional<std::uint64_t> m_cancelAt;
};

// A prompter that lets a test act once while the work lets events run: the
// next time events run, onEvents is called and cleared (it may set another).
class HookedPrompter : public ScriptedPrompter {
public:
    std::function<void()> onEvents;
    void processEvents(EventScope scope) override
    {
        ScriptedPrompter::processEvents(scope);
        if (onEvents)
            std::exchange(onEvents, nullptr)();
    }
};

} // namespace tarvex::test
