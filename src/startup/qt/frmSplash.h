// frmSplash: the first window of a run. It shows the program's name, version
// and maker; 100 ms after it opens its timer takes it out of sight and runs
// the start-up, and then ends the application with the start-up's exit
// status. A key press or a click on its frame before then closes it and ends
// the run before any start-up step.
#pragma once

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;

namespace tarvex {

class frmSplash : public QWidget {
    Q_OBJECT

public:
    // startup runs the start-up sequence and returns its exit status.
    explicit frmSplash(std::function<int()> startup, QWidget* parent = nullptr);

    // Whether the start-up has begun (the timer fired).
    bool started() const { return m_started; }

signals:
    // The run is over, by the start-up or by closing the splash early.
    void finished(int status);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onTimer();
    void finish(int status);

    std::function<int()> m_startup;
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
