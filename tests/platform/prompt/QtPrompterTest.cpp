// The windowed prompts: message boxes answered by pressing their real
// buttons or keys, their captions and particulars, and the busy pointer.
#include "platform/prompt/qt/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace tarvex;

namespace {

// Waits for the next modal dialog of type Dialog, then acts on it.
template <class Dialog> void whenShown(std::function<void(Dialog&)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        act(*box);
    });
    poll->start(10);
}

// Waits for the next modal message box, lets check look at it, then acts on it.
void whenBoxShows(std::function<void(QMessageBox&)> act)
{
    whenShown<QMessageBox>(std::move(act));
}

void press(QWidget& widget, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &down);
}

TEST(QtPrompterTest, ABoxShowsItsCaptionTextDetailAndButtons)
{
    QtPrompter prompter;
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenBoxShows([&](QMessageBox& box) {
        title = box.windowTitle();
        text = box.text();
        detail = box.informativeText();
        icon = box.icon();
        box.button(QMessageBox::Ok)->click();
    });
    Answer answer = prompter.showMessage(
        {"Unable to Open Database", "", "/data/kv.mdb: no such file", MessageIcon::Critical, MessageButtons::Ok});
    EXPECT_EQ(answer, Answer::Ok);
    EXPECT_EQ(title, "Tarvex");
    EXPECT_EQ(text, "Unable to Open Database");
    EXPECT_EQ(detail, "/data/kv.mdb: no such file");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtPrompterTest, TheFileDialogOffersEveryFilterAndShowsItsHint)
{
    QtPrompter prompter;
    QStringList filters;
    QString hint;
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        if (auto* label = dialog.findChild<QLabel*>("hint"))
            hint = label->text();
        dialog.reject();
    });
    FileChoice choice{"Select Brindle/Quorra Link",
                      "Brindle.lnk",
                      {"*.lnk", "*.desktop"},
                      "/tmp",
                      "shortcut file",
                      {{"Brindle/Quorra database", {"kv.mdb", "*.mdb"}, "database"}},
                      "Pick the shortcut."};
    EXPECT_EQ(prompter.chooseFile(choice), std::nullopt);
    EXPECT_EQ(filters, QStringList({"Brindle.lnk (*.lnk *.desktop)", "Brindle/Quorra database (kv.mdb *.mdb)"}));
    EXPECT_EQ(hint, "Pick the shortcut.");
}

TEST(QtPrompterTest, EnterGoesOnAndEscapeStops)
{
    QtPrompter prompter;
    Message question{"Continue?", "Notice", "", MessageIcon::None, MessageButtons::YesNo};
    whenBoxShows([](QMessageBox& box) { press(box, Qt::Key_Return); });
    EXPECT_EQ(prompter.showMessage(question), Answer::Yes);
    whenBoxShows([](QMessageBox& box) { press(box, Qt::Key_Escape); });
    EXPECT_EQ(prompter.showMessage(question), Answer::No);

    Message notice{"Backup?", "Backup Data", "", MessageIcon::None, MessageButtons::OkCancel};
    whenBoxShows([](QMessageBox& box) { press(box, Qt::Key_Escape); });
    EXPECT_EQ(prompter.showMessage(notice), Answer::Cancel);
    whenBoxShows([](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
    EXPECT_EQ(prompter.showMessage(notice), Answer::Ok);
}

TEST(QtPrompterTest, TheBusyPointerStaysBalanced)
{
    {
        QtPrompter prompter;
        prompter.setBusy(true);
        prompter.setBusy(true);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        prompter.setBusy(false);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        prompter.setBusy(true);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "a prompter gives the pointer back when it goes";
}

TEST(QtPrompterTest, ProgressCanBeCancelled)
{
    QtPrompter prompter;
    std::unique_ptr<Progress> progress = prompter.beginProgress("Backup Data", "Copying", true);
    EXPECT_TRUE(progress->update(10, 100));
    auto* dialog = QApplication::activeModalWidget();
    if (!dialog) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QProgressDialog"))
                dialog = widget;
    }
    ASSERT_NE(dialog, nullptr);
    QMetaObject::invokeMethod(dialog, "cancel");
    EXPECT_FALSE(progress->update(20, 100));
}

} // namespace
