// The terminal review's table and commands.
#include "review/ConsoleReview.h"

#include "platform/text/TextHelpers.h"
#include "platform/text/VisibleText.h"
#include "review/ListCsv.h"
#include "review/ListingText.h"
#include "review/PrintTarget.h"
#include "review/ReviewColumns.h"
#include "review/RowList.h"
#include "review/TableText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include <unistd.h>

namespace tarvex {

namespace {

bool endsWithPdf(const std::string& path)
{
    return path.size() >= 4 && sameIgnoringCase(std::string_view(path).substr(path.size() - 4), ".pdf");
}

// A cell as the table shows it. Only the start of a long value is escaped and
// measured: the table shows no more than kCellWidth columns of it anyway, and
// its memory stays in proportion to what is shown.
std::string shownCell(const std::string& value)
{
    std::size_t keep = std::min(value.size(), ConsoleReview::kCellWidth * 16);
    // Back up to the start of a character, so as not to cut one in two.
    while (keep < value.size() && keep > 0 && (static_cast<unsigned char>(value[keep]) & 0xC0) == 0x80)
        --keep;
    return clippedToWidth(visibleText(std::string_view(value).substr(0, keep)), ConsoleReview::kCellWidth,
                          keep < value.size());
}

constexpr const char* kHelp = "Commands:\n"
                              "  all            select every row (Select All)\n"
                              "  none           select no row (UnSelect All)\n"
                              "  select LIST    select rows, e.g. select 1,3-5\n"
                              "  unselect LIST  unselect rows\n"
                              "  list           show the list again\n"
                              "  show N         show row N whole, one column a line\n"
                              "  print FILE     print the list to FILE (PDF when it ends in .pdf, else text)\n"
                              "  apply          write the selected changes (Apply Changes)\n"
                              "  exit           leave without changing anything (Exit)\n"
                              "  help           show these commands\n";

} // namespace

ConsoleReview::ConsoleReview(PriceReview& review, ConsolePrompter& prompter, PdfPrinter printPdf,
                             std::vector<std::string> keepOff)
    : m_review(review)
    , m_prompter(prompter)
    , m_printPdf(std::move(printPdf))
    , m_keepOff(std::move(keepOff))
{
}

std::string ConsoleReview::tableText() const
{
    TableLayout layout;
    layout.separator = " | ";
    layout.rightAligned = {false, false};
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> titles = {"#", "Sel"};
    for (ReviewColumn column : kReviewColumns) {
        titles.emplace_back(columnTitle(column));
        layout.rightAligned.push_back(isNumberColumn(column));
    }
    lines.push_back(std::move(titles));
    const std::vector<ProposedChange>& rows = m_review.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> cells = {std::to_string(i + 1), m_review.isSelected(i) ? "[x]" : "[ ]"};
        for (ReviewColumn column : kReviewColumns)
            cells.push_back(shownCell(rows[i].cell(column)));
        lines.push_back(std::move(cells));
    }
    return formatTable(lines, layout);
}

void ConsoleReview::showList()
{
    m_prompter.out() << tableText() << m_review.countLabel() << '\n';
}

void ConsoleReview::showSelectedCount()
{
    m_prompter.out() << m_review.selectedCount() << " of " << m_review.rows().size() << " selected\n";
}

void ConsoleReview::showHelp()
{
    m_prompter.out() << kHelp;
}

RunEnd ConsoleReview::run()
{
    Status built = m_review.build();
    if (!built.ok()) {
        m_review.reportBuildFailure(built);
        m_end = RunEnd::Error;
        return m_end;
    }
    m_prompter.out() << m_review.caption() << '\n';
    showList();
    // Products passed over are reported once the user can see the list.
    m_review.reportUnreadable();
    m_prompter.out() << "Type help for the commands.\n";
    for (;;) {
        m_prompter.out() << "> ";
        std::optional<std::string> line = m_prompter.readLine();
        if (!line) {
            // The end of input leaves as Exit does: nothing is written.
            m_prompter.out() << '\n' << std::flush;
            return m_end;
        }
        if (!execute(*line))
            return m_end;
    }
}

bool ConsoleReview::execute(const std::string& line)
{
    std::string_view text = trimmed(line);
    std::size_t space = text.find_first_of(" \t");
    std::string command = lowerAscii(text.substr(0, space));
    std::string argument(space == std::string_view::npos ? std::string_view() : trimmed(text.substr(space)));

    if (command.empty())
        return true;
    if (command == "all" && argument.empty()) {
        m_review.selectAll();
        showSelectedCount();
    } else if (command == "none" && argument.empty()) {
        m_review.unselectAll();
        showSelectedCount();
    } else if (command == "select" || command == "unselect") {
        selectRows(argument, command == "select");
    } else if (command == "list" && argument.empty()) {
        showList();
    } else if (command == "show") {
        showRow(argument);
    } else if (command == "print") {
        print(argument);
    } else if (command == "apply" && argument.empty()) {
        PriceReview::ApplyOutcome outcome = m_review.apply();
        if (outcome == PriceReview::ApplyOutcome::NothingSelected)
            return true;
        m_end = PriceReview::runEndAfter(outcome);
        return false;
    } else if (command == "exit" && argument.empty()) {
        m_end = RunEnd::Normal;
        return false;
    } else if (command == "help") {
        showHelp();
    } else {
        m_prompter.out() << "Unknown command: " << visibleText(text) << '\n';
        showHelp();
    }
    return true;
}

void ConsoleReview::selectRows(const std::string& list, bool selected)
{
    if (list.empty()) {
        m_prompter.out() << "Give the rows, e.g. " << (selected ? "select" : "unselect") << " 1,3-5\n";
        return;
    }
    Result<std::vector<std::size_t>> rows = parseRowList(list, m_review.rows().size());
    if (!rows) {
        m_prompter.out() << visibleText(rows.error()) << '\n';
        return;
    }
    for (std::size_t row : *rows)
        m_review.setSelected(row, selected);
    showSelectedCount();
}

void ConsoleReview::showRow(const std::string& number)
{
    Result<std::vector<std::size_t>> rows = parseRowList(number, m_review.rows().size());
    if (!rows || rows->size() != 1) {
        m_prompter.out() << (rows ? std::string("Give one row, e.g. show 3") : visibleText(rows.error())) << '\n';
        return;
    }
    std::size_t row = rows->front();
    m_prompter.out() << "Row " << row + 1 << (m_review.isSelected(row) ? " [x]" : " [ ]") << '\n';
    for (ReviewColumn column : kReviewColumns)
        m_prompter.out() << "  " << columnTitle(column) << ": " << visibleText(m_review.rows()[row].cell(column))
                         << '\n';
}

void ConsoleReview::print(const std::string& path)
{
    if (path.empty()) {
        m_prompter.out() << "Give the file to print to, e.g. print list.pdf\n";
        return;
    }
    // Never over a database, a journal or a backup, whatever the name
    // typed or the links it goes through.
    Result<PrintTarget> target = findPrintTarget(path, m_keepOff);
    if (!target) {
        m_review.reportPrintFailure(target.status());
        return;
    }
    // A file that is already there is only replaced when the user says so,
    // as a print-to-file dialog asks; through a link, the question names the
    // file that would be replaced.
    if (target->exists) {
        std::string shown = target->viaLink ? target->path + " (linked from " + path + ")" : path;
        Answer replace = m_prompter.showMessage({shown + " already exists. Do you want to replace it?", "Print List",
                                                 "", MessageIcon::Exclamation, MessageButtons::YesNo});
        if (replace != Answer::Yes)
            return;
    }
    Status printed = Status::success();
    if (endsWithPdf(path))
        printed = m_printPdf ? m_printPdf(m_review.rows(), target->path)
                             : Status::failure(path + ": PDF printing is not available in this program");
    else
        printed = writeStagedText(target->path, [&](const auto& put) { return writeListing(m_review.rows(), put); });
    if (!printed.ok()) {
        m_review.reportPrintFailure(printed);
        return;
    }
    m_prompter.out() << "The list was printed to " << visibleText(path) << '\n';
}

} // namespace tarvex
