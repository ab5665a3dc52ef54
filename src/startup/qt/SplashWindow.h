// SplashWindow: frmSplash, the first window of a run. It shows the program's
// name, version and maker; 100 ms after it opens its timer takes it out of
// sight and runs the start-up, and then tells how the run ended (finished),
// for the program to end the application. A key press or a click on its
// frame before then closes it and ends the run, normally, before any
// start-up step.
#pragma once

#include "data/RunEnd.h"

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;

namespace tarvex {

class SplashWindow : public QWidget {
    Q_OBJECT

public:
    // startup runs the start-up sequence and says how the run ended.
    explicit SplashWindow(std::function<RunEnd()> startup, QWidget* parent = nullptr);

    // Whether the start-up has begun (the timer fired).
    bool started() const { return m_started; }

signals:
    // The run is over, by the start-up or by closing the splash early;
    // emitted once.
    void finished(tarvex::RunEnd end);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onTimer();
    void finish(RunEnd end);

    std::function<RunEnd()> m_startup;
    QFrame* m_frame;
    QLabel* m_productName;
    QLabel* m_version;
    QLabel* m_company;
    QProgressBar* m_progress;
    QTimer* m_timer;
    bool m_started = false;
    bool m_finished = false;
};

} // namespace tarvex
