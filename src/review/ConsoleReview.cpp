// The terminal review's table and commands.
#include "review/ConsoleReview.h"

#include "platform/text/TextHelpers.h"
#include "platform/text/VisibleText.h"
#include "review/ListCsv.h"
#include "review/ListingText.h"
#include "review/PrintTarget.h"
#include "review/ReviewColumns.h"
#include "review/ReviewFlags.h"
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
                              "  select LIST    select rows by the numbers last shown, e.g. select 1,3-5\n"
                              "  unselect LIST  unselect rows\n"
                              "  list           show the list again\n"
                              "  list flagged   show only the rows flagged for a second look (marked !)\n"
                              "  show N         show row N whole, one column a line, and why it is flagged\n"
                              "  filter TEXT    show only rows whose code or name contains TEXT; filter alone\n"
                              "                 shows every row again (all and none then act on the shown rows)\n"
                              "  sort COLUMN    sort the rows shown by code, name, cost, newcost, price,\n"
                              "                 newprice or change; add desc to reverse; sort alone for the\n"
                              "                 listing order\n"
                              "  print FILE     print the list to FILE (PDF when it ends in .pdf, else text)\n"
                              "  export FILE    write the rows shown to FILE as CSV, with their selection\n"
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

const std::vector<RowIndex>& ConsoleReview::shown() const
{
    if (!m_numbered) {
        m_shown = shownRows(m_review.rows(), m_review.flags(), m_view);
        m_numbered = true;
    }
    return m_shown;
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
    titles.emplace_back("Flag");
    lines.push_back(std::move(titles));
    const std::vector<ProposedChange>& rows = m_review.rows();
    const std::vector<RowIndex>& order = shown();
    for (std::size_t n = 0; n < order.size(); ++n) {
        std::size_t i = order[n];
        std::vector<std::string> cells = {std::to_string(n + 1), m_review.isSelected(i) ? "[x]" : "[ ]"};
        for (ReviewColumn column : kReviewColumns)
            cells.push_back(shownCell(rows[i].cell(column)));
        cells.emplace_back(i < m_review.flags().size() && m_review.flags()[i] ? "!" : "");
        lines.push_back(std::move(cells));
    }
    return formatTable(lines, layout);
}

void ConsoleReview::showList()
{
    showView();
}

void ConsoleReview::showView(bool flaggedOnly)
{
    ReviewViewSettings settings = m_view;
    settings.flaggedOnly = settings.flaggedOnly || flaggedOnly;
    m_shown = shownRows(m_review.rows(), m_review.flags(), settings);
    m_numbered = true;
    m_prompter.out() << tableText() << m_review.countLabel() << '\n';
    if (settings.narrowed()) {
        std::size_t selectedShown = 0;
        for (std::size_t row : m_shown)
            selectedShown += m_review.isSelected(row) ? 1 : 0;
        std::size_t selected = m_review.selectedCount();
        m_prompter.out() << shownLabel(m_shown.size(), selected, m_review.rows().size(), selected - selectedShown)
                         << '\n';
    }
}

void ConsoleReview::setFilter(const std::string& text)
{
    m_view.filter = text;
    showView();
}

void ConsoleReview::setSort(const std::string& argument)
{
    std::string_view rest = argument;
    std::size_t space = rest.find_first_of(" \t");
    std::string_view name = rest.substr(0, space);
    std::string_view order = space == std::string_view::npos ? std::string_view() : trimmed(rest.substr(space));
    if (name.empty()) {
        m_view.sortColumn.reset();
        showView();
        return;
    }
    std::optional<ReviewColumn> column = sortColumnNamed(name);
    if (!column || !(order.empty() || sameIgnoringCase(order, "desc") || sameIgnoringCase(order, "asc"))) {
        m_prompter.out() << "Sort by one of " << sortColumnNames()
                         << ", with desc to reverse, e.g. sort newcost desc\n";
        return;
    }
    m_view.sortColumn = column;
    m_view.descending = sameIgnoringCase(order, "desc");
    showView();
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
    m_numbered = false;
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
    if ((command == "all" || command == "none") && argument.empty()) {
        bool select = command == "all";
        if (m_view.narrowed()) {
            // As in the window: the rows shown only, and it says so.
            for (std::size_t row : shown())
                m_review.setSelected(row, select);
            m_prompter.out() << (select ? "Selected" : "Unselected") << " the " << shown().size()
                             << " rows shown; hidden rows keep their selection.\n";
        } else if (select) {
            m_review.selectAll();
        } else {
            m_review.unselectAll();
        }
        showSelectedCount();
    } else if (command == "select" || command == "unselect") {
        selectRows(argument, command == "select");
    } else if (command == "list" && argument.empty()) {
        showList();
    } else if (command == "list" && sameIgnoringCase(argument, "flagged")) {
        showView(true);
    } else if (command == "filter") {
        setFilter(argument);
    } else if (command == "sort") {
        setSort(argument);
    } else if (command == "export") {
        exportList(argument);
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
    Result<std::vector<std::size_t>> rows = parseRowList(list, shown().size());
    if (!rows) {
        m_prompter.out() << visibleText(rows.error()) << '\n';
        return;
    }
    for (std::size_t row : *rows)
        m_review.setSelected(reviewRow(row), selected);
    showSelectedCount();
}

void ConsoleReview::showRow(const std::string& number)
{
    Result<std::vector<std::size_t>> rows = parseRowList(number, shown().size());
    if (!rows || rows->size() != 1) {
        m_prompter.out() << (rows ? std::string("Give one row, e.g. show 3") : visibleText(rows.error())) << '\n';
        return;
    }
    std::size_t row = reviewRow(rows->front());
    m_prompter.out() << "Row " << rows->front() + 1 << (m_review.isSelected(row) ? " [x]" : " [ ]") << '\n';
    for (ReviewColumn column : kReviewColumns)
        m_prompter.out() << "  " << columnTitle(column) << ": " << visibleText(m_review.rows()[row].cell(column))
                         << '\n';
    if (unsigned flags = m_review.flags().at(row))
        m_prompter.out() << "  Flagged: " << flagReasons(flags) << '\n';
}

std::optional<std::string> ConsoleReview::writableTarget(const std::string& path, const char* what)
{
    // Never over a database, a journal or a backup, whatever the name
    // typed or the links it goes through.
    Result<PrintTarget> target = findPrintTarget(path, m_keepOff);
    if (!target) {
        if (std::string_view(what) == "Export")
            m_review.reportExportFailure(target.status());
        else
            m_review.reportPrintFailure(target.status());
        return std::nullopt;
    }
    // A file that is already there is only replaced when the user says so,
    // as a print-to-file dialog asks; through a link, the question names the
    // file that would be replaced.
    if (target->exists) {
        std::string shown = target->viaLink ? target->path + " (linked from " + path + ")" : path;
        Answer replace = m_prompter.showMessage({shown + " already exists. Do you want to replace it?", what, "",
                                                 MessageIcon::Exclamation, MessageButtons::YesNo});
        if (replace != Answer::Yes)
            return std::nullopt;
    }
    return target->path;
}

void ConsoleReview::print(const std::string& path)
{
    if (path.empty()) {
        m_prompter.out() << "Give the file to print to, e.g. print list.pdf\n";
        return;
    }
    std::optional<std::string> target = writableTarget(path, "Print List");
    if (!target)
        return;
    Status printed = Status::success();
    if (endsWithPdf(path))
        printed = m_printPdf ? m_printPdf(m_review.rows(), m_review.printHeading(), *target)
                             : Status::failure(path + ": PDF printing is not available in this program");
    else
        printed = writeStagedText(
            *target, [&](const auto& put) { return writeListing(m_review.rows(), m_review.printHeading(), put); });
    if (!printed.ok()) {
        m_review.reportPrintFailure(printed);
        return;
    }
    m_prompter.out() << "The list was printed to " << visibleText(path) << '\n';
}

void ConsoleReview::exportList(const std::string& path)
{
    if (path.empty()) {
        m_prompter.out() << "Give the file to export to, e.g. export list.csv\n";
        return;
    }
    std::optional<std::string> target = writableTarget(path, "Export");
    if (!target)
        return;
    const std::vector<RowIndex>& rows = shown();
    Status written = writeStagedText(*target, [&](const auto& put) {
        return writeCsv(
            m_review.rows(), rows, [&](std::size_t row) { return m_review.isSelected(row); }, put);
    });
    if (!written.ok()) {
        m_review.reportExportFailure(written);
        return;
    }
    m_prompter.out() << rows.size() << (rows.size() == 1 ? " row was" : " rows were") << " exported to "
                     << visibleText(path) << '\n';
}

} // namespace tarvex
