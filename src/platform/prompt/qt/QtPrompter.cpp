// Message boxes, the file dialog, the pointer and progress in Qt widgets.
#include "platform/prompt/qt/QtPrompter.h"

#include "platform/os/StopSignals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace tarvex {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// The progress of one long operation in a QProgressDialog that appears only
// when the work lasts more than a moment. A cancellable one also takes
// SIGINT, SIGTERM, SIGHUP and SIGQUIT as Cancel, as the terminal's does.
class QtProgress : public Progress {
public:
    static constexpr int kSteps = 1000;
    // The dialog is repainted and Cancel heard at least this often.
    static constexpr int kEventIntervalMs = 100;

    QtProgress(QWidget* parent, const std::string& title, const std::string& label, bool cancellable)
        : m_dialog(fromUtf8(label), cancellable ? QObject::tr("Cancel") : QString(), 0, kSteps, parent)
    {
        m_dialog.setWindowTitle(fromUtf8(title));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
        m_clock.start();
        if (cancellable)
            m_stopSignals.emplace();
    }

    bool update(std::uint64_t done, std::uint64_t total) override
    {
        int step = total == 0 ? kSteps : static_cast<int>(std::min<std::uint64_t>(done, total) * kSteps / total);
        // setValue() lets events run itself on a modal dialog; between changes
        // of the shown value, events still run often enough for Cancel.
        if (step != m_dialog.value())
            m_dialog.setValue(step);
        if (m_clock.elapsed() >= kEventIntervalMs) {
            QCoreApplication::processEvents();
            m_clock.restart();
        }
        return !m_dialog.wasCanceled() && !StopSignals::requested();
    }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
    std::optional<StopSignals> m_stopSignals;
};

} // namespace

QtPrompter::QtPrompter(QWidget* parent)
    : m_parent(parent)
{
}

QtPrompter::~QtPrompter()
{
    setBusy(false);
}

Answer QtPrompter::showMessage(const Message& message)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(fromUtf8(message.caption.empty() ? std::string(kProgramTitle) : message.caption));
    box.setText(fromUtf8(message.text));
    if (!message.detail.empty())
        box.setInformativeText(fromUtf8(message.detail));
    switch (message.icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    // Enter takes the first button (go on), Escape the second (stop).
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    // A busy pointer over a question would say "wait" where the program waits
    // for the user.
    bool wasBusy = m_busy;
    setBusy(false);
    box.exec();
    setBusy(wasBusy);

    QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    switch (message.buttons) {
    case MessageButtons::Ok:
        return Answer::Ok;
    case MessageButtons::OkCancel:
        return pressed == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
    case MessageButtons::YesNo:
        return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    return Answer::Cancel;
}

std::optional<std::string> QtPrompter::chooseFile(const FileChoice& choice)
{
    auto filterEntry = [](const std::string& name, const std::vector<std::string>& patterns) {
        QStringList listed;
        for (const std::string& pattern : patterns)
            listed << fromUtf8(pattern);
        return fromUtf8(name) + " (" + listed.join(' ') + ")";
    };
    QStringList filters{filterEntry(choice.filterName, choice.patterns)};
    for (const FileFilter& other : choice.otherFilters)
        filters << filterEntry(other.name, other.patterns);
    QFileDialog dialog(m_parent, fromUtf8(choice.title), fromUtf8(choice.startFolder));
    dialog.setNameFilters(filters);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!choice.hint.empty()) {
        // The hint is a row of Qt's own dialog: a desktop's native dialog
        // takes no extra line.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* hint = new QLabel(fromUtf8(choice.hint), &dialog);
            hint->setObjectName("hint");
            hint->setWordWrap(true);
            grid->addWidget(hint, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    bool wasBusy = m_busy;
    setBusy(false);
    bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    setBusy(wasBusy);
    if (!chosen || dialog.selectedFiles().front().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void QtPrompter::setBusy(bool busy)
{
    // The override cursor is a stack: push and pop only on a change, so that
    // repeated calls stay balanced.
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtPrompter::processEvents(EventScope scope)
{
    QCoreApplication::processEvents(scope == EventScope::ExcludeUserInput ? QEventLoop::ExcludeUserInputEvents
                                                                          : QEventLoop::AllEvents);
}

std::unique_ptr<Progress> QtPrompter::beginProgress(const std::string& title, const std::string& label,
                                                    bool cancellable)
{
    return std::make_unique<QtProgress>(m_parent, title, label, cancellable);
}

} // namespace tarvex
