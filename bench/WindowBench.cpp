// The review window timed from the hand-over to its first painted list.
#include "WindowBench.h"

#include "Stopwatch.h"

#include "app/ExitStatus.h"
#include "app/ReviewWindow.h"
#include "data/RunState.h"
#include "platform/prompt/qt/QtPrompter.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace tarvex::bench {

namespace {

// A field of /proc/self/status in kB, 0 when absent.
std::int64_t statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stoll(line.substr(field.size() + 1));
    return 0;
}

// The resident kB of the mappings whose file name ends in suffix.
std::int64_t mappedKb(const std::string& suffix)
{
    std::ifstream maps("/proc/self/smaps");
    std::string line;
    bool counting = false;
    std::int64_t total = 0;
    while (std::getline(maps, line)) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
            line.find(' ') != std::string::npos && line.find(':') > line.find(' ')) {
            counting =
                line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        } else if (counting && line.rfind("Rss:", 0) == 0) {
            total += std::stoll(line.substr(4));
        }
    }
    return total;
}

// Watches every event of the program for the first paint of the review
// list, then scrolls the list and presses Exit.
class FirstPaint : public QObject {
public:
    FirstPaint(WindowFigures& figures, const Stopwatch& clock)
        : m_figures(figures)
        , m_clock(clock)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_seen || event->type() != QEvent::Paint)
            return false;
        auto* list = watched->parent() ? qobject_cast<QTableView*>(watched->parent()) : nullptr;
        if (!list || list->objectName() != QLatin1String("uList") || watched != list->viewport())
            return false;
        m_seen = true;
        // The paint runs on from here; the time is taken right after it, at
        // the next turn of the event loop.
        QTimer::singleShot(0, list, [this, list] {
            m_figures.shownSeconds = m_clock.seconds();
            m_figures.rssShownKb = statusKb("VmRSS");
            m_figures.anonShownKb = statusKb("RssAnon");
            m_figures.mappedShownKb = mappedKb(".mdb");
            m_figures.rows = list->model()->rowCount();
            scrollAndExit(list);
        });
        return false;
    }

private:
    // Pages down from the top, then jumps across the whole list, painting
    // each position at once as a dragged scroll bar would.
    void scrollAndExit(QTableView* list)
    {
        QScrollBar* bar = list->verticalScrollBar();
        std::vector<double> steps;
        auto paintAt = [&](int value) {
            Stopwatch step;
            bar->setValue(value);
            list->viewport()->repaint();
            steps.push_back(step.seconds() * 1000.0);
        };
        for (int i = 0; i < 100; ++i)
            paintAt(std::min(bar->maximum(), bar->value() + bar->pageStep()));
        for (int i = 0; i <= 100; ++i)
            paintAt(static_cast<int>(static_cast<std::int64_t>(bar->maximum()) * ((i * 37) % 101) / 100));
        paintAt(bar->maximum());
        paintAt(0);
        std::sort(steps.begin(), steps.end());
        m_figures.scrollSteps = static_cast<int>(steps.size());
        m_figures.scrollMedianMs = steps[steps.size() / 2];
        m_figures.scrollWorstMs = steps.back();
        m_figures.scrollSlow =
            static_cast<int>(std::count_if(steps.begin(), steps.end(), [](double ms) { return ms > 1000.0 / 60; }));
        // The worst of some steps, each repainted at once.
        auto worst = [&](const std::vector<std::function<void()>>& acts) {
            double most = 0;
            for (const auto& act : acts) {
                Stopwatch step;
                act();
                list->viewport()->repaint();
                most = std::max(most, step.seconds() * 1000.0);
            }
            return most;
        };
        if (auto* filter = list->window()->findChild<QLineEdit*>(QStringLiteral("FilterField"))) {
            std::vector<std::function<void()>> typing;
            for (const char* text : {"1", "12", "123", "12", ""})
                typing.push_back([filter, text] { filter->setText(QString::fromLatin1(text)); });
            m_figures.filterWorstMs = worst(typing);
        }
        QHeaderView* header = list->horizontalHeader();
        auto click = [header] { emit header->sectionClicked(3); };
        m_figures.sortWorstMs = worst({click, click, click});
        if (auto* exit = list->window()->findChild<QPushButton*>(QStringLiteral("CancelButton")))
            exit->click();
    }

    WindowFigures& m_figures;
    const Stopwatch& m_clock;
    bool m_seen = false;
};

} // namespace

std::string WindowFigures::toLine() const
{
    std::ostringstream out;
    out << "ok=" << ok << " rows=" << rows << " shown=" << shownSeconds << " rssBefore=" << rssBeforeKb
        << " rssShown=" << rssShownKb << " anonBefore=" << anonBeforeKb << " anonShown=" << anonShownKb
        << " mappedBefore=" << mappedBeforeKb << " mappedShown=" << mappedShownKb << " steps=" << scrollSteps
        << " median=" << scrollMedianMs << " worst=" << scrollWorstMs << " slow=" << scrollSlow
        << " filter=" << filterWorstMs << " sort=" << sortWorstMs << " exit=" << exitStatus;
    return out.str();
}

WindowFigures WindowFigures::fromLine(const std::string& line)
{
    std::map<std::string, std::string> values;
    std::istringstream in(line);
    std::string pair;
    while (in >> pair)
        if (auto eq = pair.find('='); eq != std::string::npos)
            values[pair.substr(0, eq)] = pair.substr(eq + 1);
    auto number = [&](const char* key) { return values.count(key) ? std::stod(values[key]) : 0.0; };
    WindowFigures f;
    f.ok = number("ok") != 0;
    f.rows = static_cast<std::int64_t>(number("rows"));
    f.shownSeconds = number("shown");
    f.rssBeforeKb = static_cast<std::int64_t>(number("rssBefore"));
    f.rssShownKb = static_cast<std::int64_t>(number("rssShown"));
    f.anonBeforeKb = static_cast<std::int64_t>(number("anonBefore"));
    f.anonShownKb = static_cast<std::int64_t>(number("anonShown"));
    f.mappedBeforeKb = static_cast<std::int64_t>(number("mappedBefore"));
    f.mappedShownKb = static_cast<std::int64_t>(number("mappedShown"));
    f.scrollSteps = static_cast<int>(number("steps"));
    f.scrollMedianMs = number("median");
    f.scrollWorstMs = number("worst");
    f.scrollSlow = static_cast<int>(number("slow"));
    f.filterWorstMs = number("filter");
    f.sortWorstMs = number("sort");
    f.exitStatus = static_cast<int>(number("exit"));
    return f;
}

int WindowBench::runStep(int argc, char** argv, const std::string& vendorPath, const std::string& hostPath)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowFigures figures;
    Result<Database> update = Database::open(vendorPath);
    Result<Database> host = Database::open(hostPath);
    if (!update || !host) {
        std::printf("ok=0\n");
        std::fprintf(stderr, "%s\n", (!update ? update.error() : host.error()).c_str());
        return 1;
    }
    RunState run{std::move(*update), std::move(*host), hostPath, {}, {}};
    QtPrompter prompter;

    figures.rssBeforeKb = statusKb("VmRSS");
    figures.anonBeforeKb = statusKb("RssAnon");
    figures.mappedBeforeKb = mappedKb(".mdb");
    Stopwatch clock;
    FirstPaint watcher(figures, clock);
    app.installEventFilter(&watcher);
    // The start-up's hand-over: the busy pointer, then the window.
    prompter.setBusy(true);
    figures.exitStatus = exitStatus(runReviewWindow(run, prompter));
    app.removeEventFilter(&watcher);
    figures.ok = figures.rows > 0;
    std::printf("%s\n", figures.toLine().c_str());
    return figures.ok ? 0 : 1;
}

WindowFigures WindowBench::measure(const std::string& program, const std::string& vendorPath,
                                   const std::string& hostPath)
{
    auto quoted = [](const std::string& text) {
        std::string out = "'";
        for (char c : text)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    std::string command = quoted(program) + " --window-step " + quoted(vendorPath) + " " + quoted(hostPath);
    WindowFigures figures;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        figures.error = "cannot start " + program;
        return figures;
    }
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    int status = ::pclose(pipe);
    std::string last;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("ok=", 0) == 0)
            last = line;
    figures = WindowFigures::fromLine(last);
    if (!figures.ok)
        figures.error = "the window process failed (status " + std::to_string(status) + ")";
    return figures;
}

} // namespace tarvex::bench
