// ResultTable: the benchmark's figures as a Markdown table, one line per
// figure with its floor, their ratio and the target, so that a run's output
// can go into docs/performance.md as it stands.
#pragma once

#include <string>
#include <vector>

namespace tarvex::bench {

class ResultTable {
public:
    // One line. target is empty where there is none; met tells whether the
    // figure reaches it.
    void add(std::string measure, std::string size, std::string tarvex, std::string floor, std::string ratio,
             std::string target, bool met);
    // A line without a target.
    void add(std::string measure, std::string size, std::string tarvex, std::string floor, std::string ratio);

    std::string text() const;

    // Numbers for the cells: fixed decimals.
    static std::string fixed(double value, int decimals);

private:
    struct Line {
        std::vector<std::string> cells;
    };
    std::vector<Line> m_lines;
};

} // namespace tarvex::bench
