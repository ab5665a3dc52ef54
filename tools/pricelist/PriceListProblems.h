// PriceListProblems: adds the errors and warnings found in one price list to
// it, each named by the file and, for a line, its number
// ("FILE, line N: problem", or "FILE: problem" for the file as a whole).
#pragma once

#include "pricelist/PriceListCsv.h"

#include <string>
#include <string_view>

namespace tarvex {

class PriceListProblems {
public:
    PriceListProblems(PriceList& list, const std::string& fileName)
        : m_list(list)
        , m_fileName(fileName)
    {
    }

    void fileError(const std::string& problem) { m_list.errors.push_back(m_fileName + ": " + problem); }
    void lineError(int line, const std::string& problem) { m_list.errors.push_back(onLine(line) + problem); }
    void lineWarning(int line, const std::string& problem) { m_list.warnings.push_back(onLine(line) + problem); }

private:
    std::string onLine(int line) const { return m_fileName + ", line " + std::to_string(line) + ": "; }

    PriceList& m_list;
    const std::string& m_fileName;
};

// A cell as shown in a message: quoted, and cut short when long.
inline std::string shownCell(std::string_view cell)
{
    std::string text(cell.substr(0, 40));
    if (cell.size() > 40)
        text += "...";
    return "\"" + text + "\"";
}

} // namespace tarvex
