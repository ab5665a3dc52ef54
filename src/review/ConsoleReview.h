// ConsoleReview: the price change review in a terminal. It shows the list as
// a table with row numbers and selection marks, and reads one command a line
// in place of the window's buttons; every decision (the list, the selection,
// the apply and its messages) is PriceReview's, as in the window. As in the
// window, a filter and a sort change which rows are shown and in what order
// (see ReviewView), never the list itself; the row numbers are those of the
// rows last shown.
#pragma once

#include "data/RunEnd.h"
#include "platform/Result.h"
#include "platform/prompt/ConsolePrompter.h"
#include "review/PriceReview.h"
#include "review/PrintHeading.h"
#include "review/ProposedChange.h"
#include "review/ReviewView.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Prints rows to a PDF file at a path; the program passes in the Qt printer,
// since this code has no window system of its own.
using PdfPrinter = std::function<Status(const std::vector<ProposedChange>& rows, const PrintHeading& heading,
                                        const std::string& path)>;

class ConsoleReview {
public:
    // printPdf may be empty; "print" to a .pdf file then fails with a message.
    // keepOff: the files "print" must never write over (see findPrintTarget).
    ConsoleReview(PriceReview& review, ConsolePrompter& prompter, PdfPrinter printPdf,
                  std::vector<std::string> keepOff = {});

    // Builds the list and, when that worked, shows it and reads commands
    // until "exit", the end of input, or an apply that is not refused.
    // Returns how the run ends: RunEnd::Error when the list could not be
    // built or an apply was incomplete, RunEnd::Normal otherwise.
    RunEnd run();

    // The list as shown: a header line, then one line per shown row with its
    // number from 1 and "[x]" when it is selected, "[ ]" when not, and "!" in
    // a last column when it is flagged (see ReviewFlags). Control characters
    // are shown as escapes, and a cell wider than kCellWidth columns is cut
    // with an ellipsis, so that one long name cannot widen every line.
    std::string tableText() const;

    static constexpr std::size_t kCellWidth = 40;

    // Carries out one command line. Returns false once the review is over.
    bool execute(const std::string& line);

    RunEnd end() const { return m_end; }

private:
    void showList();
    void showSelectedCount();
    void showHelp();
    void selectRows(const std::string& list, bool selected);
    void showRow(const std::string& number);
    void print(const std::string& path);
    void exportList(const std::string& path);
    // The file a list may be written to, asking before one is replaced;
    // nothing when it may not or the user said No. what: the caption of the
    // messages.
    std::optional<std::string> writableTarget(const std::string& path, const char* what);
    void setFilter(const std::string& text);
    void setSort(const std::string& argument);
    // Shows the rows of the view (flagged ones only when flaggedOnly) and
    // numbers them for the commands that follow.
    void showView(bool flaggedOnly = false);
    // The review's row for a number shown, from 0.
    std::size_t reviewRow(std::size_t shownRow) const { return shown().at(shownRow); }
    const std::vector<RowIndex>& shown() const;

    PriceReview& m_review;
    ConsolePrompter& m_prompter;
    PdfPrinter m_printPdf;
    std::vector<std::string> m_keepOff;
    ReviewViewSettings m_view;
    // The review's rows last shown, in the order shown: what row numbers mean.
    mutable std::vector<RowIndex> m_shown;
    // Whether m_shown has been set since the list was built.
    mutable bool m_numbered = false;
    RunEnd m_end = RunEnd::Normal;
};

} // namespace tarvex
