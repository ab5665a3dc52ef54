// QtPrompter: the windowed form of the Prompter: message boxes, the file-open
// dialog, the busy pointer, pending events and a progress dialog. Every box
// is an ordinary modal widget, so a test can find it with
// QApplication::activeModalWidget() and press one of its buttons.
#pragma once

#include "platform/prompt/Prompter.h"

class QWidget;

namespace tarvex {

class QtPrompter : public Prompter {
public:
    // parent (may be null) owns the boxes and dialogs while they show.
    explicit QtPrompter(QWidget* parent = nullptr);
    ~QtPrompter() override;

    Answer showMessage(const Message& message) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    void setBusy(bool busy) override;
    void processEvents(EventScope scope) override;
    std::unique_ptr<Progress> beginProgress(const std::string& title, const std::string& label,
                                            bool cancellable) override;

private:
    QWidget* m_parent;
    bool m_busy = false;
};

} // namespace tarvex
