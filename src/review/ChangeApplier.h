// Writing the chosen rows of the review list into the host database.
#pragma once

#include "data/RunJournal.h"
#include "platform/Database.h"
#include "platform/prompt/Prompter.h"
#include "review/ApplyReport.h"
#include "review/ProposedChange.h"

#include <vector>

namespace tarvex {

// For each row, first to last: finds the vendor product again by its ID
// (Primarykey index) and the host product by the vendor product's quickid
// (QuickID index, the first in index order), decides again from what the two
// databases hold now (costToWrite, priceToWrite, on the vendor's values as
// the host would store them), and saves the new host cost and price together
// in one save of that record, so that each product is left wholly old or
// wholly new; the run record gets the values the host stores. A save is on
// the disk (Database::flushSaves) before the next product's is written, and
// only then counted and marked saved: the next product is decided, and its
// record read and checked, while the disk writes the one before. A row whose
// vendor or host product has vanished, or whose save would leave the record
// as it is, is skipped as unchanged; a vendor cost or price below zero is a
// failure of that row. Before every save the host path must still name the file that was
// opened: once it does not (deleted, moved or replaced), nothing more is
// written, the rows left are reported, and what was saved is moved out of the
// write-ahead log into the opened file, so that nothing beside the path can
// replay into another file (report.stopped says HostLeftPath).
//
// A row of an undo (row.restore) has no vendor product: its host record,
// found by code and recorded identity, gets back the row's new cost and
// price, but only while it still holds what the undone run wrote; otherwise
// (changed since, gone) it is a failure of that row and nothing is written.
// update may then be null.
//
// With a journal, the run is recorded: the record is opened (on the
// journal's own thread) as the apply begins, and every row is decided once,
// before the first save, from what the two databases hold then; every
// product to be saved is recorded (identity, values before and after)
// before its save, by the journal's thread: the first ones in one commit
// made while the others are decided, the others in larger commits made
// while the first are saved, each awaited before its products' saves.
// Each row is then decided again at its turn: when the product still holds
// what was recorded it is saved under that entry; else (another program
// changed it, or this run saved the same host record before) the entry is
// marked failed and the product is recorded again on its own before its save.
// How each save ended is held and written about once a second and at the
// end; an entry whose mark a crash lost stays pending, and the next run
// tells from the host how it ended (see reconcileRuns). The entries of rows
// not reached are marked as not saved, and the run finished, however the
// loop ends. When the record cannot be written, nothing more is saved: not
// started or not planned, nothing is written at all; a batch of marks that
// cannot be written stops the apply before the next save (report.stopped
// says NotRecorded, report.recordError why).
//
// While it runs, SIGINT, SIGTERM, SIGHUP and SIGQUIT (see StopSignals) stop
// it between two products: the product being saved is finished, the rows
// left are reported as not tried (report.stopped says Asked).
//
// A save that fails leaves that host record as it was and is reported in the
// result with the product code. When the host file as a whole refuses writes
// (locked by another program, read-only, unreadable), the remaining rows are
// not tried: each would only wait out the lock again. Those rows are reported
// as failed too. Rows saved before stay saved.
ApplyReport applyChanges(Database* update, Database& host, const std::vector<const ProposedChange*>& rows,
                         Prompter& prompter, RunJournal* journal);
inline ApplyReport applyChanges(Database& update, Database& host, const std::vector<const ProposedChange*>& rows,
                                Prompter& prompter)
{
    return applyChanges(&update, host, rows, prompter, nullptr);
}

} // namespace tarvex
