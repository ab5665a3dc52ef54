// The splash window and the hand-over from its timer to the start-up.
#include "startup/qt/SplashWindow.h"

#include "platform/prompt/Prompter.h"
#include "startup/SplashText.h"
#include "startup/VersionLabel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvex {

namespace {

// Arial where it is installed; Liberation Sans has the same metrics.
QFont labelFont(int pointSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

SplashWindow::SplashWindow(std::function<RunEnd()> startup, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_startup(std::move(startup))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString::fromLatin1(splash_text::kCaption));
    setFocusPolicy(Qt::StrongFocus);
    // The splash stays loaded, out of sight, while message boxes come and
    // go; the run ends only through finish(), never because the last visible
    // window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    m_frame->setFrameShape(QFrame::Box);
    m_frame->installEventFilter(this);

    m_productName =
        makeLabel(m_frame, "lblProductName", QString::fromLatin1(splash_text::kProductName), labelFont(24, true));
    m_version = makeLabel(m_frame, "lblVersion", QString::fromStdString(programVersionLabel()), labelFont(10, false));
    m_company =
        makeLabel(m_frame, "lblCompanyProduct", QString::fromLatin1(splash_text::kCompany), labelFont(12, false));
    // Part of the window's look; the start-up never moves it.
    m_progress = new QProgressBar(m_frame);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    m_progress->setValue(0);

    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->setContentsMargins(24, 24, 24, 24);
    frameLayout->addWidget(m_company);
    frameLayout->addWidget(m_productName);
    frameLayout->addWidget(m_version);
    frameLayout->addWidget(m_progress);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_frame);
    setMinimumSize(420, 220);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &SplashWindow::onTimer);
    m_timer->start();
}

void SplashWindow::onTimer()
{
    if (m_finished)
        return;
    m_started = true;
    // Paint the splash before it goes, then take it out of sight: it is not
    // a window the user can act on while the start-up asks its questions.
    QCoreApplication::processEvents();
    hide();
    QCoreApplication::processEvents();
    finish(m_startup());
}

void SplashWindow::finish(RunEnd end)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer->stop();
    emit finished(end);
}

void SplashWindow::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    close();
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_frame && event->type() == QEvent::MouseButtonRelease) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SplashWindow::closeEvent(QCloseEvent* event)
{
    // Before the timer fires, closing the only window ends the run with no
    // start-up step. Once the start-up runs it owns the end of the run.
    if (!m_started) {
        event->accept();
        finish(RunEnd::Normal);
        return;
    }
    event->ignore();
}

} // namespace tarvex
