// Reading CSV records field by field.
#include "pricelist/CsvRecords.h"

#include "platform/text/TextHelpers.h"

namespace tarvex {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

bool CsvRecord::blank() const
{
    for (const std::string& field : fields)
        if (!trimmed(field).empty())
            return false;
    return true;
}

bool CsvReader::next(CsvRecord& record)
{
    if (m_pos >= m_text.size())
        return false;
    record.line = m_line;
    record.fields.clear();
    for (;;) {
        std::string field;
        bool endOfRecord = readField(field);
        record.fields.push_back(std::move(field));
        if (endOfRecord)
            return true;
    }
}

// Consumes one line break (CRLF counts as one).
void CsvReader::skipLineBreak()
{
    if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

// Reads one field into field and the separator after it. Returns true
// when the field ended its record.
bool CsvReader::readField(std::string& field)
{
    // A quote after leading blanks still opens a quoted field: spreadsheet
    // users write `, "a, b"` and mean the quoted text.
    size_t start = m_pos;
    while (!atEnd() && isBlank(m_text[m_pos]))
        ++m_pos;
    if (!atEnd() && m_text[m_pos] == '"')
        return readQuoted(field);
    m_pos = start;
    while (!atEnd() && m_text[m_pos] != ',' && !atLineBreak())
        field += m_text[m_pos++];
    return endField();
}

bool CsvReader::readQuoted(std::string& field)
{
    int openedOn = m_line;
    ++m_pos;
    for (;;) {
        if (atEnd()) {
            m_problems.emplace_back(openedOn, "a quoted field that starts on this line is never closed");
            return true;
        }
        char c = m_text[m_pos];
        if (c == '"') {
            if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') {
                field += '"';
                m_pos += 2;
                continue;
            }
            ++m_pos;
            break;
        }
        if (c == '\r' || c == '\n') {
            skipLineBreak();
            field += '\n';
            continue;
        }
        field += c;
        ++m_pos;
    }
    while (!atEnd() && isBlank(m_text[m_pos]))
        ++m_pos;
    if (!atEnd() && m_text[m_pos] != ',' && !atLineBreak()) {
        m_problems.emplace_back(m_line, "text follows the closing quote of a field (a quote inside a quoted field "
                                        "must be doubled)");
        // The rest of the line belongs to the broken field.
        while (!atEnd() && !atLineBreak())
            field += m_text[m_pos++];
    }
    return endField();
}

// Consumes the separator after a field; true when it ended the record.
bool CsvReader::endField()
{
    if (atEnd())
        return true;
    if (m_text[m_pos] == ',') {
        ++m_pos;
        return false;
    }
    skipLineBreak();
    return true;
}

} // namespace tarvex
