// Printing the list of proposed changes: the title "Product Updates" and the
// sub-title "Proposed Product Changes" on the first page, the column titles at
// the top of every page, then the rows in list order, the columns as wide in
// proportion as in the window, each selected row marked "[x]" in a margin
// before them. At the foot of every page: the vendor, the date and time, the
// host file and "Page i of n". Control characters in the cells are printed as
// escapes (see visibleText).
//
// Both functions need a QGuiApplication (QApplication) to exist, for fonts.
#pragma once

#include "platform/Result.h"
#include "platform/prompt/Prompter.h"
#include "review/PrintHeading.h"
#include "review/ProposedChange.h"

#include <string>
#include <vector>

class QPrinter;

namespace tarvex {

// Prints rows on printer, already set up (by a print dialog or for a file).
// prompter, when given, lets paint events run between pages. Fails when the
// printer cannot be started. A printer set to print to a file writes as
// printListToPdf does, and refuses the files findPrintTarget refuses, with
// keepOff as the files never to write over.
Status printList(const std::vector<ProposedChange>& rows, QPrinter& printer, Prompter* prompter = nullptr,
                 const std::vector<std::string>& keepOff = {}, const PrintHeading& heading = {});

// Prints rows to a PDF file at path, in landscape, with no printer needed.
// The PDF is written beside path and renamed over it once complete, so a
// failure leaves a file already at path as it was. Fails with a text naming
// the file and the reason when it cannot be written.
Status printListToPdf(const std::vector<ProposedChange>& rows, const std::string& path,
                      const PrintHeading& heading = {});

} // namespace tarvex
