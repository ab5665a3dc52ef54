// WindowBench: the review window on a long list, under the offscreen Qt
// platform. The run's two databases are opened and handed to the real
// runReviewWindow, as the start-up hands them over; the time is taken when
// the list is first painted. The window is then scrolled through, each step
// painted at once and timed; a filter is typed a letter at a time and
// cleared, a column title clicked three times (each step repainted and
// timed), and the window closed by its own Exit button.
//
// It runs in a process of its own (tarvex-bench --window-step), so that
// memory freed by the other measurements cannot hide what the window takes.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex::bench {

struct WindowFigures {
    bool ok = false;
    std::string error;
    std::int64_t rows = 0;           // rows the window lists
    double shownSeconds = 0;         // hand-over to the list's first paint
    std::int64_t rssBeforeKb = 0;    // VmRSS at the hand-over (databases open)
    std::int64_t rssShownKb = 0;     // VmRSS once the list is painted
    std::int64_t anonBeforeKb = 0;   // RssAnon, the process's own memory, at the hand-over
    std::int64_t anonShownKb = 0;    // RssAnon once the list is painted
    std::int64_t mappedBeforeKb = 0; // resident pages of the two database files mapped for reading
    std::int64_t mappedShownKb = 0;
    int scrollSteps = 0; // repaints timed while scrolling
    double scrollMedianMs = 0;
    double scrollWorstMs = 0;
    int scrollSlow = 0; // steps that took longer than a 60 Hz frame
    // Typing into the filter (each keystroke, then clearing it) and the
    // three clicks of a column title, each to the repainted list.
    double filterWorstMs = 0;
    double sortWorstMs = 0;
    int exitStatus = -1;

    // One line of NAME=VALUE pairs, and back.
    std::string toLine() const;
    static WindowFigures fromLine(const std::string& line);
};

class WindowBench {
public:
    // The body of the window process: QApplication on the offscreen
    // platform, the window over the two files. Prints toLine() on stdout.
    static int runStep(int argc, char** argv, const std::string& vendorPath, const std::string& hostPath);

    // Starts program (this benchmark) as the window process and reads what
    // it measured.
    static WindowFigures measure(const std::string& program, const std::string& vendorPath,
                                 const std::string& hostPath);
};

} // namespace tarvex::bench
