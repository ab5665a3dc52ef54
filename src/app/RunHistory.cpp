// The run list's texts and its terminal table.
#include "app/RunHistory.h"

#include "app/ExitStatus.h"
#include "platform/text/VisibleText.h"
#include "review/NumberText.h"
#include "review/TableText.h"

#include <algorithm>
#include <ostream>

namespace tarvex {

std::vector<std::string> historyTitles()
{
    return {"#", "Date and time", "Vendor", "Products changed", "Backup file", "Undone"};
}

std::vector<std::string> historyCells(const RunSummary& run)
{
    // The texts come from a file: no control character reaches the screen.
    std::string vendor = visibleText(run.info.vendor);
    if (run.info.kind == RunKind::Undo && run.info.undoes)
        vendor = "Undo of " + std::to_string(*run.info.undoes) + ": " + vendor;
    std::string undone;
    if (run.running)
        undone = "Running now";
    else if (!run.finished)
        undone = "Stopped unfinished";
    else if (run.undone == UndoState::Undone)
        undone = "Yes";
    else if (run.undone == UndoState::PartlyUndone)
        undone = "Partly";
    else
        undone = "No";
    return {std::to_string(run.number),  runTimeText(run.info.when),           vendor,
            std::to_string(run.changed), visibleText(run.info.backupFileName), undone};
}

std::vector<std::string> runProductTitles()
{
    return {"Product Code", "Product Name", "Cost before", "Cost after", "Price before", "Price after", "State"};
}

namespace {

std::string amountText(const std::optional<double>& amount)
{
    return amount ? numberText(*amount) : "(empty)";
}

std::string stateText(const RecordedEntry& product)
{
    switch (product.state) {
    case EntryState::Saved:
        return "Saved";
    case EntryState::Unchanged:
        return "Unchanged";
    case EntryState::Failed:
        return "Failed: " + visibleText(product.reason);
    case EntryState::Pending:
        break;
    }
    return "Not finished";
}

// The products of one run of runs as a table on out.
int printRunProducts(RunRecordFile& record, const std::vector<RunSummary>& runs, std::int64_t number, std::ostream& out,
                     std::ostream& err)
{
    auto run = std::find_if(runs.begin(), runs.end(), [&](const RunSummary& r) { return r.number == number; });
    if (run == runs.end()) {
        err << "tarvex: There is no price update number " << number << " in the history of "
            << visibleText(record.path()) << '\n'
            << std::flush;
        return kExitError;
    }
    Result<std::vector<RecordedEntry>> entries = record.entriesOf(number);
    if (!entries) {
        err << "tarvex: " << visibleText(entries.error()) << '\n' << std::flush;
        return kExitError;
    }
    std::vector<std::string> cells = historyCells(*run);
    out << "Products of price update " << number << " (" << cells[1] << ", " << cells[2] << "):\n";
    std::vector<RecordedEntry> products = runProducts(*entries);
    if (products.empty()) {
        out << "none\n" << std::flush;
        return kExitOk;
    }
    std::vector<std::vector<std::string>> lines{runProductTitles()};
    for (const RecordedEntry& product : products)
        lines.push_back(runProductCells(product));
    out << formatTable(lines, {" | ", {false, false, true, true, true, true}}) << std::flush;
    return kExitOk;
}

} // namespace

std::vector<std::string> runProductCells(const RecordedEntry& entry)
{
    const ProductEntry& product = entry.product;
    return {visibleText(product.code),
            visibleText(product.name),
            amountText(product.costBefore),
            amountText(product.costAfter),
            amountText(product.priceBefore),
            amountText(product.priceAfter),
            stateText(entry)};
}

int printHistory(const std::string& hostPath, std::ostream& out, std::ostream& err, std::optional<std::int64_t> run)
{
    Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
    Result<std::vector<RunSummary>> runs = record ? runsAsShown(*record) : record.status();
    if (!runs) {
        err << "tarvex: " << visibleText(runs.error()) << '\n' << std::flush;
        return kExitError;
    }
    if (run)
        return printRunProducts(*record, *runs, *run, out, err);
    out << "Price updates of " << visibleText(hostPath) << ", newest first:\n";
    if (runs->empty()) {
        out << "none recorded\n" << std::flush;
        return kExitOk;
    }
    std::vector<std::vector<std::string>> lines{historyTitles()};
    for (const RunSummary& run : *runs)
        lines.push_back(historyCells(run));
    out << formatTable(lines, {" | ", {true, false, false, true}}) << std::flush;
    return kExitOk;
}

} // namespace tarvex
