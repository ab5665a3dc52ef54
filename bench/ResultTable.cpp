// Laying out the benchmark's table.
#include "ResultTable.h"

#include <algorithm>
#include <cstdio>

namespace tarvex::bench {

void ResultTable::add(std::string measure, std::string size, std::string tarvex, std::string floor, std::string ratio,
                      std::string target, bool met)
{
    m_lines.push_back({{std::move(measure), std::move(size), std::move(tarvex), std::move(floor), std::move(ratio),
                        target.empty() ? std::string() : target + (met ? " (met)" : " (MISSED)")}});
}

void ResultTable::add(std::string measure, std::string size, std::string tarvex, std::string floor, std::string ratio)
{
    m_lines.push_back(
        {{std::move(measure), std::move(size), std::move(tarvex), std::move(floor), std::move(ratio), ""}});
}

std::string ResultTable::fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string ResultTable::text() const
{
    const std::vector<std::string> titles = {"Measure", "Size", "Tarvex", "Floor", "Ratio", "Target"};
    // Widths in characters as shown; the micro sign and the like count once.
    auto shown = [](const std::string& cell) {
        return static_cast<std::size_t>(std::count_if(
            cell.begin(), cell.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    };
    std::vector<std::size_t> widths;
    for (const std::string& title : titles)
        widths.push_back(shown(title));
    for (const Line& line : m_lines)
        for (std::size_t i = 0; i < line.cells.size(); ++i)
            widths[i] = std::max(widths[i], shown(line.cells[i]));
    auto row = [&](const std::vector<std::string>& cells) {
        std::string out = "|";
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += " " + cells[i] + std::string(widths[i] - shown(cells[i]), ' ') + " |";
        return out + "\n";
    };
    std::string out = row(titles);
    std::vector<std::string> rule;
    for (std::size_t width : widths)
        rule.push_back(std::string(width, '-'));
    out += row(rule);
    for (const Line& line : m_lines)
        out += row(line.cells);
    return out;
}

} // namespace tarvex::bench
