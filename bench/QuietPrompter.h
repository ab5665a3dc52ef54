// QuietPrompter: a Prompter for timing the review core without a person at
// the keyboard. It shows nothing, answers every question with its accepting
// button, and hands out a progress that never cancels. onEvents, when set, is
// called where pending window events would run, so that a benchmark can look
// at the work while it is going on.
#pragma once

#include "platform/prompt/Prompter.h"

#include <functional>

namespace tarvex::bench {

class QuietPrompter : public Prompter {
public:
    Answer showMessage(const Message& message) override
    {
        ++messages;
        return message.buttons == MessageButtons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    void setBusy(bool) override {}
    void processEvents(EventScope) override
    {
        if (onEvents)
            onEvents();
    }
    std::unique_ptr<Progress> beginProgress(const std::string&, const std::string&, bool) override
    {
        ++progresses;
        return std::make_unique<SilentProgress>();
    }

    std::function<void()> onEvents;
    int messages = 0;
    int progresses = 0;

private:
    class SilentProgress : public Progress {
    public:
        bool update(std::uint64_t, std::uint64_t) override { return true; }
    };
};

} // namespace tarvex::bench
