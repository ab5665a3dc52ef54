// CsvRecords: a small RFC 4180 record reader that keeps the line where each
// record starts. Quoted fields may hold commas, doubled quotes and line
// breaks; line breaks are CRLF, LF or a lone CR, and inside a quoted field any
// of them is kept as LF.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

struct CsvRecord {
    int line = 0; // the line where the record starts
    std::vector<std::string> fields;

    // Whether every field is empty or blank.
    bool blank() const;
};

// Reads text record by record. Problems are added to problems with the line
// they were found on, and reading goes on with the next line, so that one run
// reports every broken row.
class CsvReader {
public:
    CsvReader(std::string_view text, std::vector<std::pair<int, std::string>>& problems)
        : m_text(text)
        , m_problems(problems)
    {
    }

    // The next record, false at the end of the text.
    bool next(CsvRecord& record);

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool atLineBreak() const { return !atEnd() && (m_text[m_pos] == '\n' || m_text[m_pos] == '\r'); }
    void skipLineBreak();
    bool readField(std::string& field);
    bool readQuoted(std::string& field);
    bool endField();

    std::string_view m_text;
    std::vector<std::pair<int, std::string>>& m_problems;
    size_t m_pos = 0;
    int m_line = 1;
};

} // namespace tarvex
