// The review's rows as CSV, for a spreadsheet or an accountant: UTF-8 with a
// byte-order mark (so that spreadsheets read it as UTF-8), a header line with
// "Selected" and the list's column titles, then one line per row with "Yes"
// or "No" and the cells as the list shows them. Lines end in CR LF, as RFC
// 4180 has it; a field holding a comma, a quote, a line break or a blank at
// either end is quoted, with quotes doubled.
#pragma once

#include "platform/Result.h"
#include "review/ProposedChange.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// One field as CSV writes it.
std::string csvField(std::string_view value);

// The rows of order (indexes into rows), in that order, handed to emit a
// line at a time; isSelected tells each row's selection by its index.
// Stops at emit's first failure and returns it.
Status writeCsv(const std::vector<ProposedChange>& rows, const std::vector<RowIndex>& order,
                const std::function<bool(std::size_t)>& isSelected,
                const std::function<Status(const std::string& line)>& emit);

// Writes the lines produce hands out to a new file beside path, a block at a
// time, and renames it over path once it is on disk: a full disk leaves the
// old file as it was and no partial one. The file gets the permissions of
// the one it replaces (see printFileMode). path is taken as it stands: check
// it with findPrintTarget first.
Status writeStagedText(const std::string& path,
                       const std::function<Status(const std::function<Status(const std::string&)>& emit)>& produce);

} // namespace tarvex
