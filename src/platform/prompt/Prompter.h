// Prompter: every way the program talks to the person at the keyboard: modal
// message boxes, the file-open dialog, the busy pointer, letting pending window
// events run, and progress for long work. The start-up and review code only
// ever see this interface; the windows (QtPrompter) and the terminal
// (ConsolePrompter) implement it, and tests answer it in advance.
#pragma once

#include "platform/prompt/Progress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

enum class MessageIcon { None, Critical, Exclamation };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };

// One message box. An empty caption shows the program's title, "Tarvex".
struct Message {
    std::string text;
    std::string caption;
    // Optional second text with the particulars (which file, what is wrong);
    // shown below the fixed text, never instead of it.
    std::string detail;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// A further filter entry of the file-open dialog: its name and patterns, and
// what it offers in words, for the terminal's question.
struct FileFilter {
    std::string name;
    std::vector<std::string> patterns;
    std::string description;
};

// The file-open dialog: its first filter entry (a name and its patterns), the
// folder it starts in, and optionally further filter entries and a line
// saying what to pick.
struct FileChoice {
    std::string title;
    std::string filterName;
    std::vector<std::string> patterns;
    std::string startFolder;
    // What is asked for, in words, for the terminal's question.
    std::string description = "file";
    // Offered after the first filter entry.
    std::vector<FileFilter> otherFilters = {};
    // One line shown in the dialog with it (the terminal's question names
    // every filter instead).
    std::string hint = {};
};

// How far pending window events may run while long work goes on. Paint and
// timer events only: a click cannot start a second apply or close the window
// half-way through one.
enum class EventScope { All, ExcludeUserInput };

class Prompter {
public:
    virtual ~Prompter() = default;

    // Shows the box and waits for the answer. An OK-only box answers Ok.
    virtual Answer showMessage(const Message& message) = 0;
    // The chosen file's path, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> chooseFile(const FileChoice& choice) = 0;
    // Switches the arrow-and-hourglass pointer on or off.
    virtual void setBusy(bool busy) = 0;
    virtual void processEvents(EventScope scope) = 0;
    // Starts showing the progress of an operation that may take a while.
    virtual std::unique_ptr<Progress> beginProgress(const std::string& title, const std::string& label,
                                                    bool cancellable) = 0;
};

// The caption a message box shows when it has none of its own.
inline constexpr const char* kProgramTitle = "Tarvex";

} // namespace tarvex
