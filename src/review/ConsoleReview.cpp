// The terminal review's table and commands.
#include "review/ConsoleReview.h"

#include "review/ListingText.h"
#include "review/ReviewColumns.h"
#include "review/RowList.h"
#include "review/TableText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include <sys/stat.h>

namespace tarvex {

namespace {

std::string trimmed(const std::string& text)
{
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWithPdf(const std::string& path)
{
    return path.size() >= 4 && lower(path.substr(path.size() - 4)) == ".pdf";
}

// Writes text to the file at path, replacing it, as printing to a file does.
// Fails with a text naming the file and the reason.
Status writeTextFile(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return Status::failure(path + ": cannot be written (" + std::strerror(errno) + ")");
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int savedErrno = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        savedErrno = errno;
    }
    if (!written)
        return Status::failure(path + ": could not be written completely (" + std::strerror(savedErrno) + ")");
    return Status::success();
}

constexpr const char* kHelp = "Commands:\n"
                              "  all            select every row (Select All)\n"
                              "  none           select no row (UnSelect All)\n"
                              "  select LIST    select rows, e.g. select 1,3-5\n"
                              "  unselect LIST  unselect rows\n"
                              "  list           show the list again\n"
                              "  print FILE     print the list to FILE (PDF when it ends in .pdf, else text)\n"
                              "  apply          write the selected changes (Apply Changes)\n"
                              "  exit           leave without changing anything (Exit)\n"
                              "  help           show these commands\n";

} // namespace

ConsoleReview::ConsoleReview(PriceReview& review, ConsolePrompter& prompter, PdfPrinter printPdf)
    : m_review(review)
    , m_prompter(prompter)
    , m_printPdf(std::move(printPdf))
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
            cells.push_back(rows[i].cell(column));
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
    m_prompter.out() << kReviewCaption << '\n';
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
    std::string text = trimmed(line);
    std::size_t space = text.find_first_of(" \t");
    std::string command = lower(text.substr(0, space));
    std::string argument = space == std::string::npos ? std::string() : trimmed(text.substr(space));

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
        m_prompter.out() << "Unknown command: " << text << '\n';
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
        m_prompter.out() << rows.error() << '\n';
        return;
    }
    for (std::size_t row : *rows)
        m_review.setSelected(row, selected);
    showSelectedCount();
}

void ConsoleReview::print(const std::string& path)
{
    if (path.empty()) {
        m_prompter.out() << "Give the file to print to, e.g. print list.pdf\n";
        return;
    }
    // A file that is already there is only replaced when the user says so,
    // as a print-to-file dialog asks: a mistyped name could be a database.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            m_review.reportPrintFailure(Status::failure(path + ": is not an ordinary file"));
            return;
        }
        Answer replace = m_prompter.showMessage({path + " already exists. Do you want to replace it?", "Print List", "",
                                                 MessageIcon::Exclamation, MessageButtons::YesNo});
        if (replace != Answer::Yes)
            return;
    }
    Status printed = Status::success();
    if (endsWithPdf(path))
        printed = m_printPdf ? m_printPdf(m_review.rows(), path)
                             : Status::failure(path + ": PDF printing is not available in this program");
    else
        printed = writeTextFile(path, listingText(m_review.rows()));
    if (!printed.ok()) {
        m_review.reportPrintFailure(printed);
        return;
    }
    m_prompter.out() << "The list was printed to " << path << '\n';
}

} // namespace tarvex
