// The run list's texts and its terminal table.
#include "app/RunHistory.h"

#include "app/ExitStatus.h"
#include "platform/text/VisibleText.h"
#include "review/TableText.h"

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

int printHistory(const std::string& hostPath, std::ostream& out, std::ostream& err)
{
    Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
    Result<std::vector<RunSummary>> runs = record ? record->listRuns() : record.status();
    if (!runs) {
        err << "tarvex: " << visibleText(runs.error()) << '\n' << std::flush;
        return kExitError;
    }
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
