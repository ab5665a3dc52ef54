// The splash window: its labels and the version text they show, closing it
// before its timer fires, and one whole windowed start-up through the real
// message boxes up to the hand-over.
#include "StartupFixture.h"

#include "platform/prompt/qt/QtPrompter.h"
#include "startup/VersionLabel.h"
#include "startup/qt/SplashWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <optional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

using SplashTest = StartupFixture;

QString labelText(QWidget& window, const char* name)
{
    auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

// Runs the event loop until the splash says the run is over, as the program
// does, and returns how it ended.
std::optional<RunEnd> runUntilFinished(SplashWindow& splash)
{
    std::optional<RunEnd> end;
    QObject::connect(&splash, &SplashWindow::finished, [&end](RunEnd finished) {
        end = finished;
        QCoreApplication::exit();
    });
    QApplication::exec();
    return end;
}

TEST(VersionLabelTest, ShowsMajorMinorAndRevision)
{
    EXPECT_EQ(versionLabel(2, 0, 0, 21), "Version 2.0.21");
    EXPECT_EQ(versionLabel(1, 4, 7, 0), "Version 1.4.0");
}

TEST_F(SplashTest, ShowsTheProgramsNameVersionAndMaker)
{
    SplashWindow splash([] { return RunEnd::Normal; });
    EXPECT_EQ(splash.objectName(), "frmSplash");
    EXPECT_EQ(splash.windowTitle(), "Corvane Tarvex");
    EXPECT_EQ(labelText(splash, "lblProductName"), "Tarvex");
    EXPECT_EQ(labelText(splash, "lblCompanyProduct"), "Norvale Systems");
    EXPECT_EQ(labelText(splash, "lblVersion").toStdString(), programVersionLabel());
    EXPECT_NE(splash.findChild<QFrame*>("Frame1"), nullptr);
    auto* timer = splash.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 100);
}

TEST_F(SplashTest, AKeyOrAClickOnTheFrameBeforeTheTimerEndsTheRunWithNoStep)
{
    for (bool byKey : {true, false}) {
        bool started = false;
        SplashWindow splash([&] {
            started = true;
            return RunEnd::Error;
        });
        splash.show();
        QTimer::singleShot(0, &splash, [&] {
            if (byKey) {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
                QApplication::sendEvent(&splash, &key);
            } else {
                auto* frame = splash.findChild<QFrame*>("Frame1");
                QPointF at(5, 5);
                QMouseEvent down(QEvent::MouseButtonPress, at, frame->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QMouseEvent up(QEvent::MouseButtonRelease, at, frame->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                               Qt::NoModifier);
                QApplication::sendEvent(frame, &down);
                QApplication::sendEvent(frame, &up);
            }
        });
        EXPECT_EQ(runUntilFinished(splash), RunEnd::Normal);
        EXPECT_FALSE(started);
        EXPECT_FALSE(splash.isVisible());
    }
}

TEST_F(SplashTest, AWholeWindowedStartUpReachesTheHandOver)
{
    standardSetup();
    QtPrompter windows;
    SystemShell systemShell;
    std::vector<QString> seen;
    bool splashHiddenAtStart = false;
    bool busyAtHandOver = false;
    bool reached = false;

    // Answers each box as a user would: Yes to the vendor, OK to the backup.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        seen.push_back(box->text());
        if (QAbstractButton* yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->button(QMessageBox::Ok)->click();
    });
    answerer.start(20);

    StartupSequence sequence(
        program, windows, systemShell, fileCopy, [this] { return now; },
        [&](RunState& run) {
            reached = true;
            busyAtHandOver = QApplication::overrideCursor() != nullptr;
            EXPECT_EQ(run.backupPath, expectedBackup);
            return RunEnd::Normal;
        });
    SplashWindow splash([&] {
        splashHiddenAtStart = !splash.isVisible();
        return sequence.run();
    });
    splash.show();
    std::optional<RunEnd> end = runUntilFinished(splash);
    answerer.stop();

    EXPECT_EQ(end, RunEnd::Normal);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(busyAtHandOver);
    EXPECT_TRUE(splashHiddenAtStart);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "You are running Standard Pricing Update for Vendor:Acme, Continue?");
    EXPECT_EQ(seen[1], "The Tarvex program will backup your data before starting, This may take several minutes.");
    EXPECT_EQ(readFile(expectedBackup), readFile(host));
}

} // namespace
