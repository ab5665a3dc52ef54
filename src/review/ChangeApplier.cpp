// Applying the selected rows, one host record save at a time.
#include "review/ChangeApplier.h"

#include "data/DatabaseNames.h"
#include "data/HostProducts.h"
#include "platform/os/StopSignals.h"
#include "review/ChangeRules.h"
#include "review/ProductValues.h"
#include "review/ReadHold.h"
#include "review/WorkPacer.h"

#include <set>

namespace tarvex {

namespace {

// Whether a failed save concerns the whole file rather than one record: every
// further save would fail the same way.
bool fileRefusesWrites(const Status& save)
{
    switch (save.kind()) {
    case ErrorKind::Busy:
    case ErrorKind::ReadOnly:
    case ErrorKind::Io:
    case ErrorKind::NotADatabase:
        return true;
    case ErrorKind::Other:
    case ErrorKind::NotFound:
    case ErrorKind::Changed:
        return false;
    }
    return false;
}

// Written: saved, and counted once its write is flushed (Applier::settle).
// MarksNotWritten: not saved, as the marks due before its save could not be
// written (Applier::marksError says why).
enum class RowResult { Unchanged, Written, Failed, FileRefused, HostLeftPath, NotRecorded, MarksNotWritten };

// What one row's save is to leave in the host record, beside what it holds.
struct Plan {
    HostAmounts before;
    HostAmounts after;

    bool operator==(const Plan&) const = default;
};

class Applier {
public:
    Applier(Database* update, Database& host, Recordset* vendor, Recordset& hostProducts, RunJournal* journal,
            ApplyReport& report)
        : m_update(update)
        , m_host(host)
        , m_vendor(vendor)
        , m_hostProducts(hostProducts)
        , m_journal(journal)
        , m_report(report)
    {
    }

    // Decides every row from what the two databases hold now and records
    // each product to be saved: the first ones in one commit of the run
    // record, which the journal's thread makes while the others are decided,
    // before the first save; the others in commits it writes while the first
    // are saved, each awaited before its product's save (RunJournal::plan).
    // The first rows are decided while the record is still being opened
    // (openAhead), so that the first commit can begin as soon as it is.
    // A host record that more than one row writes is recorded here for the
    // first only: each later save of it is decided from what the one before
    // left, and recorded at its turn. Nothing is reported here; each row is
    // decided again at its turn.
    Status recordPlanned(const std::vector<const ProposedChange*>& rows)
    {
        m_planned.assign(rows.size(), std::nullopt);
        if (!m_journal)
            return Status::success();
        // The runs the record holds unfinished are put right, and this run
        // started, once the first rows are decided, before anything of it is
        // written.
        auto start = [&]() -> Status { return m_journal->started() ? Status::success() : m_journal->start(m_host); };
        std::set<std::int64_t> records;
        m_planning = true;
        // One read transaction of the host for the whole plan: its lock is
        // taken once, not once per row (and once more after the start, which
        // reads the host on its own), and let go before the first save.
        std::optional<ReadHold> hostRead;
        hostRead.emplace(m_host);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // As many rows as the plan's first commit holds are decided
            // while the record is opened, before the run is started in it.
            if (i == RunJournal::kFirstCommitEntries && !m_journal->started()) {
                hostRead.reset();
                if (Status started = start(); !started.ok()) {
                    m_planning = false;
                    return started;
                }
                hostRead.emplace(m_host);
            }
            const ProposedChange& row = *rows[i];
            Plan plan;
            if (row.restore ? planRestore(row, plan) : planUpdate(row, plan))
                continue;
            if (plan.after == plan.before || !records.insert(m_hostProducts.rowId()).second)
                continue;
            ProductEntry entry = entryFor(row, plan);
            HostRecordId record = entry.record;
            std::size_t slot = m_journal->plan(std::move(entry));
            m_planned[i] = Planned{slot, plan, std::move(record), row.restore ? std::string() : m_sought};
        }
        m_planning = false;
        hostRead.reset();
        if (Status started = start(); !started.ok())
            return started;
        // The host's claim (an Access file's) is taken while the plan's
        // first commit is still on its way to the disk, not at the first
        // save after it. When it cannot be, that save tries again and says
        // why.
        if (!records.empty())
            (void)m_host.beginSaves();
        return m_journal->planned();
    }

    RowResult apply(const ProposedChange& row, std::size_t index, WorkPacer& pacer)
    {
        Plan plan;
        std::optional<Planned> planned = std::exchange(m_planned[index], std::nullopt);
        std::optional<RowResult> ended;
        if (planned && atPlannedRecord(*planned))
            plan = planned->plan;
        else
            ended = row.restore ? planRestore(row, plan) : planUpdate(row, plan);
        if (ended) {
            abandon(planned, "not saved: " + (m_report.failed.empty() || *ended != RowResult::Failed
                                                  ? std::string("nothing was left to write at its turn")
                                                  : m_report.failed.back().reason));
            return *ended;
        }
        pacer.step(index);
        if (plan.after == plan.before) {
            abandon(planned, "not saved: nothing was left to write at its turn");
            return RowResult::Unchanged;
        }
        // Checked before every save, not once: a file deleted or replaced
        // half-way would take the rest of the saves unseen (in WAL mode the
        // engine does not notice at all).
        if (Status same = m_host.stillAtPath(); !same.ok()) {
            abandon(planned, "not saved: " + same.error());
            fail(row, same.error() + "; not written");
            return RowResult::HostLeftPath;
        }
        // The product's entry is on disk before its save: a crash between
        // the two leaves a pending entry, which the next run compares with
        // the host, never a change without its record. Recorded with the
        // others as the run was planned when the product still holds what
        // it did then (waiting here for the commit that holds it); else
        // (another program changed it since, or this run saved it before)
        // on its own now, with the marks held.
        std::optional<std::int64_t> entry;
        if (planned && planned->plan == plan) {
            Result<std::int64_t> recorded = m_journal->plannedEntry(planned->slot);
            if (!recorded) {
                fail(row, recorded.error() + "; not written");
                return RowResult::NotRecorded;
            }
            entry = *recorded;
        } else if (m_journal) {
            abandon(planned, "not saved: the product changed after the run recorded it, and was decided again");
            // The product saved before is marked in the commit of this one's
            // entry: a host record saved twice in a run is told by its marks.
            if (!settle())
                return refusedAfterFailedFlush(row, std::nullopt);
            Result<std::int64_t> intent = m_journal->recordIntent(entryFor(row, plan));
            if (!intent) {
                fail(row, intent.error() + "; not written");
                return RowResult::NotRecorded;
            }
            entry = *intent;
        }
        // Cost and price are decided separately but saved together, in one
        // save of the record: an interruption (a crash, a cut power, another
        // program's lock) leaves the product wholly old or wholly new, never
        // with a new cost beside its old price.
        Status s = m_hostProducts.edit();
        if (s.ok() && plan.after.cost != plan.before.cost)
            s = setAmount(names::kCost, plan.after.cost);
        if (s.ok() && plan.after.price != plan.before.price)
            s = setAmount(names::kRetailPrice, plan.after.price);
        // The product written before this one is on the disk before this
        // one is written. The save itself flushes it once it has read and
        // checked its own record (the work up to here, and that, done while
        // the disk wrote it); but when marks are due, it is settled first,
        // so that its mark is written with them before this one's save.
        if (s.ok() && marksDueBeforeSave()) {
            if (!settle())
                return refusedAfterFailedFlush(row, entry);
            if (Status marks = writeMarksWhenDue(); !marks.ok()) {
                if (entry)
                    m_journal->noteFailed(*entry, "not saved: the run could not be recorded");
                m_marksError = marks.error();
                return RowResult::MarksNotWritten;
            }
        }
        if (s.ok())
            s = m_hostProducts.update();
        // A save that succeeded has flushed the product before it; one that
        // failed may have failed on that flush, or left it on its way.
        if (!settle(s.ok()))
            return refusedAfterFailedFlush(row, entry);
        if (s.ok()) {
            m_written = Written{&row, entry, plan, m_hostProducts.rowId()};
            return RowResult::Written;
        }
        std::string reason = m_host.path() + ": " + s.error();
        if (entry)
            m_journal->noteFailed(*entry, reason);
        return fileRefusesWrites(s) ? refuse(row, s.error()) : fail(row, reason);
    }

    // Waits until the product written last is on the disk (its write was
    // left on its way: Database::flushSaves), and only then counts it and
    // holds its mark as saved; flushedBySave when the save made since has
    // succeeded, which flushed it. False when the flush failed: the product
    // is reported failed with why, and marked so; no further save may follow.
    bool settle(bool flushedBySave = false)
    {
        if (!m_written)
            return true;
        Written written = std::move(*m_written);
        m_written.reset();
        Status flushed = flushedBySave ? Status::success() : m_host.flushSaves();
        if (flushed.ok()) {
            ++m_report.updated;
            if (written.entry) {
                m_journal->noteSaved(*written.entry);
                if (written.row->restore)
                    noteAlsoPutBack(*written.row, written.plan, written.record);
            }
            return true;
        }
        std::string reason = m_host.path() + ": " + flushed.error();
        if (written.entry)
            m_journal->noteFailed(*written.entry, reason);
        m_report.failed.push_back({written.row->quickid, std::move(reason)});
        return false;
    }

    // Whether the marks are to be written before the next save: an entry
    // given up is held, or marks are due, counting that of the product
    // written last, whose settle() comes first then.
    bool marksDueBeforeSave() const
    {
        return m_journal && (m_giveUpHeld || m_journal->marksDue(m_written && m_written->entry ? 1 : 0));
    }

    // Why the marks due before a save could not be written.
    const std::string& marksError() const { return m_marksError; }

    // Writes the marks held once they are due, and at once when an entry
    // recorded before the first save was given up: it is never left pending
    // while another program's values might match it.
    Status writeMarksWhenDue()
    {
        if (!m_journal || !(m_giveUpHeld || m_journal->marksDue()))
            return Status::success();
        m_giveUpHeld = false;
        return m_journal->writeMarks();
    }

    // Gives up, for the record, the entries of the rows never reached:
    // marked failed as not saved, with the marks held.
    void giveUpTheRest(const std::string& why)
    {
        for (std::optional<Planned>& planned : m_planned)
            abandon(std::exchange(planned, std::nullopt), "not saved: " + why);
    }

private:
    // A row's entry recorded before the first save, with what it planned,
    // the host record it planned for and the code it found that record by
    // (none for a row that puts values back).
    struct Planned {
        // Its place among the entries recorded before the first save.
        std::size_t slot = 0;
        Plan plan;
        HostRecordId record;
        std::string code;
    };

    // Whether the row's plan stands at its turn, with the host record it was
    // made for current. Only where the host reads as it was loaded: there
    // the record still reads as the plan found it (checked: no save of this
    // run came between), deciding again would decide the same, and another
    // program's change to the record is found by the save itself. Elsewhere
    // the row is decided again, from what the host holds at its turn.
    bool atPlannedRecord(const Planned& planned)
    {
        if (planned.code.empty() || !m_hostProducts.readsAsLoaded())
            return false;
        if (!m_hostProducts.seek(Key{planned.code}).ok() || m_hostProducts.noMatch() ||
            HostRecordId(m_hostProducts.rowId()) != planned.record)
            return false;
        Result<std::optional<double>> cost = m_hostProducts.number(names::kCost);
        Result<std::optional<double>> price = m_hostProducts.number(names::kRetailPrice);
        return cost && price && HostAmounts{*cost, *price} == planned.plan.before;
    }

    // The vendor's values decide, as the list was built.
    std::optional<RowResult> planUpdate(const ProposedChange& row, Plan& plan)
    {
        Status found = m_vendor->seek(Key{row.vendorId});
        if (!found.ok())
            return fail(row, m_update->path() + ": " + found.error());
        if (m_vendor->noMatch())
            return RowResult::Unchanged;
        Result<std::optional<std::string>> quickid = m_vendor->text(names::kQuickId);
        if (!quickid.ok())
            return fail(row, m_update->path() + ": " + quickid.error());
        if (!*quickid)
            return RowResult::Unchanged;
        m_sought = **quickid;
        found = m_hostProducts.seek(Key{**quickid});
        if (!found.ok())
            return fail(row, m_host.path() + ": " + found.error());
        if (m_hostProducts.noMatch())
            return RowResult::Unchanged;
        Result<ProductValues> values = readProductValues(*m_update, *m_vendor, m_host, m_hostProducts);
        if (!values.ok())
            return fail(row, values.error());
        plan.before = {values->hostCost, values->hostPrice};
        plan.after = plan.before;
        if (costToWrite(values->vendorCost, values->hostCost))
            plan.after.cost = values->vendorCost;
        if (priceToWrite(values->vendorPrice, values->hostPrice))
            plan.after.price = values->vendorPrice;
        return std::nullopt;
    }

    // The values before the undone run come back, whatever they are (a
    // lower price included), while the host holds what that run wrote.
    std::optional<RowResult> planRestore(const ProposedChange& row, Plan& plan)
    {
        const ProposedChange::Restore& restore = *row.restore;
        Result<std::optional<HostAmounts>> now =
            findHostProduct(m_host, m_hostProducts, row.quickid, restore.hostRecord);
        if (!now)
            return fail(row, now.error());
        if (!*now)
            return fail(row, "no longer in the host database; nothing was put back");
        if (**now != HostAmounts{restore.costWritten, restore.priceWritten})
            return fail(row, "changed since the price update it undoes; not put back");
        plan.before = **now;
        plan.after = {row.newCost, row.newPrice};
        return std::nullopt;
    }

    ProductEntry entryFor(const ProposedChange& row, const Plan& plan) const
    {
        return {m_hostProducts.rowId(),
                row.quickid,
                row.name,
                plan.before.cost,
                plan.before.price,
                plan.after.cost,
                plan.after.price,
                row.restore ? std::optional<std::int64_t>(row.restore->entry) : std::nullopt};
    }

    // A field's new value, empty or a number.
    Status setAmount(const char* column, std::optional<double> value)
    {
        return value ? m_hostProducts.setNumber(column, *value) : m_hostProducts.setEmpty(column);
    }

    // The earlier entries of the undone run for the same host record are put
    // back by the one save too: each gets an entry of its own, with nothing
    // more to write, so that the record counts the run as wholly undone.
    void noteAlsoPutBack(const ProposedChange& row, const Plan& plan, std::int64_t record)
    {
        for (std::int64_t earlier : row.restore->alsoUndoes)
            m_journal->noteUnchanged({record, row.quickid, row.name, plan.after.cost, plan.after.price, plan.after.cost,
                                      plan.after.price, earlier});
    }

    // An entry recorded before the first save whose save is not made as
    // recorded: marked failed, with why.
    void abandon(const std::optional<Planned>& planned, std::string why)
    {
        if (!planned)
            return;
        // An entry whose commit failed is not in the record: nothing to mark.
        Result<std::int64_t> entry = m_journal->plannedEntry(planned->slot);
        if (!entry)
            return;
        m_journal->noteFailed(*entry, std::move(why));
        m_giveUpHeld = true;
    }

    RowResult fail(const ProposedChange& row, std::string reason)
    {
        if (!m_planning)
            m_report.failed.push_back({row.quickid, std::move(reason)});
        return RowResult::Failed;
    }

    // A row not saved because the save before it could not be flushed:
    // nothing more is written.
    RowResult refusedAfterFailedFlush(const ProposedChange& row, std::optional<std::int64_t> entry)
    {
        if (entry)
            m_journal->noteFailed(*entry, "not saved: the save before it could not be flushed");
        fail(row, "not tried: the host database refused the save before it");
        return RowResult::FileRefused;
    }

    RowResult refuse(const ProposedChange& row, const std::string& error)
    {
        fail(row, m_host.path() + ": " + error);
        return RowResult::FileRefused;
    }

    Database* m_update;
    Database& m_host;
    Recordset* m_vendor;
    Recordset& m_hostProducts;
    RunJournal* m_journal;
    ApplyReport& m_report;
    // By row: its entry recorded before the first save, until its turn.
    std::vector<std::optional<Planned>> m_planned;
    // While the rows are decided before the first save: nothing is reported.
    bool m_planning = false;
    // The code the last update row's decision found its host record by.
    std::string m_sought;
    // A given-up entry's mark is held: written before the next save.
    bool m_giveUpHeld = false;
    // The product saved last, until its write is flushed (settle): its row,
    // its entry, what it wrote, and its host record.
    struct Written {
        const ProposedChange* row = nullptr;
        std::optional<std::int64_t> entry;
        Plan plan;
        std::int64_t record = 0;
    };
    std::optional<Written> m_written;
    std::string m_marksError;
};

} // namespace

ApplyReport applyChanges(Database* update, Database& host, const std::vector<const ProposedChange*>& rows,
                         Prompter& prompter, RunJournal* journal)
{
    ApplyReport report;
    // The record is opened and checked while the rows are decided.
    if (journal && !journal->started())
        journal->openAhead(host.path());
    auto failAll = [&](std::size_t from, const std::string& reason) {
        for (std::size_t i = from; i < rows.size(); ++i)
            report.failed.push_back({rows[i]->quickid, reason});
    };
    // What was saved into a file that has left the host path must not stay in
    // a write-ahead log beside that path, where the next file given the name
    // would replay it: it is moved into the opened file itself.
    auto leftPath = [&](std::size_t from) {
        report.stopped = ApplyReport::Stop::HostLeftPath;
        std::string kept;
        if (Status settled = host.settleLog(); !settled.ok())
            kept = "; " + settled.error();
        failAll(from, "not tried: the host database left its path before it" + kept);
    };
    // From here to the end, the signals that ask the program to end only ask
    // the loop to stop after the product being saved.
    StopSignals stopSignals;
    // However the apply ends, the host lets go of what it holds for saving
    // (an Access host's claim) before the signals are let through again.
    struct SavesEnd {
        Database& host;
        ~SavesEnd() { host.endSaves(); }
    } savesEnd{host};

    // The vendor list is only read here; holding its lock spares a lock per
    // lookup. The host is written record by record and holds no transaction.
    std::optional<ReadHold> updateRead;
    std::optional<Recordset> vendor;
    if (update) {
        updateRead.emplace(*update);
        Result<Recordset> table =
            update->openTable(names::kProduct, {names::kQuickId, names::kCost, names::kRetailPrice});
        Status ready = table.status();
        if (ready.ok())
            ready = table->setIndex(names::kPrimaryKeyIndex);
        if (!ready.ok()) {
            failAll(0, update->path() + ": " + ready.error());
            return report;
        }
        vendor.emplace(std::move(*table));
    }
    Result<Recordset> hostProducts = openHostProducts(host);
    if (!hostProducts.ok()) {
        failAll(0, hostProducts.error());
        return report;
    }

    // The host file must still be the one that was opened and backed up:
    // saves into a file deleted or replaced since would be lost unseen.
    if (Status same = host.stillAtPath(); !same.ok()) {
        report.stopped = ApplyReport::Stop::HostLeftPath;
        failAll(0, same.error() + "; nothing was written to it");
        return report;
    }
    Applier applier(update, host, vendor ? &*vendor : nullptr, *hostProducts, journal, report);
    // Every way out of the loop finishes the run in the record: the entries
    // of the rows not reached are marked as not saved, and the marks held
    // written. A run whose marks could not be written stays unfinished, and
    // the next run compares its entries with the host.
    struct Finish {
        RunJournal* journal;
        Applier& applier;
        ~Finish()
        {
            if (!journal)
                return;
            applier.giveUpTheRest("the run stopped before this product's save");
            (void)journal->finish();
        }
    } finish{journal, applier};
    // The first products to be saved are on disk in the record before the
    // first save, each other one before its own; when the first cannot be
    // written, nothing is.
    if (Status planned = applier.recordPlanned(rows); !planned.ok()) {
        report.stopped = ApplyReport::Stop::NotRecorded;
        report.recordError = planned.error();
        failAll(0, "not tried: the run could not be recorded");
        return report;
    }

    WorkPacer pacer(prompter, "Applying Changes", "Writing the new costs and prices into the host database",
                    rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (StopSignals::requested()) {
            applier.settle();
            report.stopped = ApplyReport::Stop::Asked;
            report.askedBy = StopSignals::askedBy();
            failAll(i, "not tried: the update was stopped by " + report.askedBy + " before it");
            return report;
        }
        switch (applier.apply(*rows[i], i, pacer)) {
        case RowResult::Written:
            break;
        case RowResult::Unchanged:
            ++report.unchanged;
            break;
        case RowResult::Failed:
            break;
        case RowResult::NotRecorded:
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = report.failed.back().reason;
            applier.settle();
            failAll(i + 1, "not tried: the run could not be recorded");
            return report;
        case RowResult::FileRefused:
            applier.settle();
            // In rollback mode the engine itself refuses to write to a file
            // that was deleted or moved: that is the path check's case.
            if (!host.stillAtPath().ok()) {
                leftPath(i + 1);
                return report;
            }
            failAll(i + 1, "not tried: the host database refused the save before it");
            return report;
        case RowResult::HostLeftPath:
            applier.settle();
            leftPath(i + 1);
            return report;
        case RowResult::MarksNotWritten:
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = applier.marksError();
            failAll(i, "not tried: the run could not be recorded");
            return report;
        }
        // The marks held are written about once a second: when they cannot
        // be, the record no longer follows the host, and nothing more is
        // saved.
        if (Status written = applier.writeMarksWhenDue(); !written.ok()) {
            applier.settle();
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = written.error();
            failAll(i + 1, "not tried: the run could not be recorded");
            return report;
        }
        pacer.step(i + 1);
    }
    applier.settle();
    return report;
}

} // namespace tarvex
