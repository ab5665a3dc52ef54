// Applying the selected rows, one host record save at a time.
#include "review/ChangeApplier.h"

#include "data/DatabaseNames.h"
#include "data/HostProducts.h"
#include "platform/os/StopSignals.h"
#include "review/ChangeRules.h"
#include "review/ProductValues.h"
#include "review/ReadHold.h"
#include "review/WorkPacer.h"

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

enum class RowResult { Unchanged, Updated, Failed, FileRefused, HostLeftPath, NotRecorded };

// What one row's save is to leave in the host record, beside what it holds.
struct Plan {
    HostAmounts before;
    HostAmounts after;
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

    RowResult apply(const ProposedChange& row, WorkPacer& pacer, std::uint64_t done)
    {
        Plan plan;
        if (std::optional<RowResult> ended = row.restore ? planRestore(row, plan) : planUpdate(row, plan))
            return *ended;
        pacer.step(done);
        if (plan.after == plan.before)
            return RowResult::Unchanged;
        // Checked before every save, not once: a file deleted or replaced
        // half-way would take the rest of the saves unseen (in WAL mode the
        // engine does not notice at all).
        if (Status same = m_host.stillAtPath(); !same.ok()) {
            fail(row, same.error() + "; not written");
            return RowResult::HostLeftPath;
        }
        // The record of the product is on disk before its save: a crash
        // between the two leaves a pending entry, which the next run compares
        // with the host, never a change without its record.
        std::optional<std::int64_t> entry;
        if (m_journal) {
            ProductEntry recorded{m_hostProducts.rowId(),
                                  row.quickid,
                                  row.name,
                                  plan.before.cost,
                                  plan.before.price,
                                  plan.after.cost,
                                  plan.after.price,
                                  row.restore ? std::optional<std::int64_t>(row.restore->entry) : std::nullopt};
            Result<std::int64_t> intent = m_journal->recordIntent(recorded);
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
        if (s.ok())
            s = m_hostProducts.update();
        if (s.ok()) {
            Status noted = entry ? m_journal->markSaved(*entry) : Status::success();
            if (noted.ok() && row.restore)
                noted = recordAlsoPutBack(row, plan);
            return marked(noted, RowResult::Updated);
        }
        std::string reason = m_host.path() + ": " + s.error();
        Status noted = entry ? m_journal->markFailed(*entry, reason) : Status::success();
        RowResult result = fileRefusesWrites(s) ? refuse(row, s.error()) : fail(row, reason);
        return marked(noted, result);
    }

    // Why the record stopped the apply after a product was saved or failed;
    // empty while it did not.
    const std::string& recordFailure() const { return m_recordFailure; }

private:
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

    // A field's new value, empty or a number.
    Status setAmount(const char* column, std::optional<double> value)
    {
        return value ? m_hostProducts.setNumber(column, *value) : m_hostProducts.setEmpty(column);
    }

    // The earlier entries of the undone run for the same host record are put
    // back by the one save too: each gets an entry of its own, with nothing
    // more to write, so that the record counts the run as wholly undone.
    Status recordAlsoPutBack(const ProposedChange& row, const Plan& plan)
    {
        if (!m_journal)
            return Status::success();
        for (std::int64_t earlier : row.restore->alsoUndoes) {
            ProductEntry recorded{m_hostProducts.rowId(), row.quickid,     row.name,         plan.after.cost,
                                  plan.after.price,       plan.after.cost, plan.after.price, earlier};
            Result<std::int64_t> intent = m_journal->recordIntent(recorded);
            if (!intent)
                return intent.status();
            if (Status done = m_journal->markUnchanged(*intent); !done.ok())
                return done;
        }
        return Status::success();
    }

    // A row's result, unless marking its entry failed: the record no longer
    // follows the host, so nothing more is written.
    RowResult marked(const Status& mark, RowResult result)
    {
        if (!mark.ok() && m_recordFailure.empty())
            m_recordFailure = mark.error();
        return result;
    }

    RowResult fail(const ProposedChange& row, std::string reason)
    {
        m_report.failed.push_back({row.quickid, std::move(reason)});
        return RowResult::Failed;
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
    std::string m_recordFailure;
};

} // namespace

ApplyReport applyChanges(Database* update, Database& host, const std::vector<const ProposedChange*>& rows,
                         Prompter& prompter, RunJournal* journal)
{
    ApplyReport report;
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
    // Nothing is written to the host unless it is recorded.
    if (journal && !journal->started()) {
        if (Status started = journal->start(host); !started.ok()) {
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = started.error();
            failAll(0, "not tried: the run could not be recorded");
            return report;
        }
    }
    // Every way out of the loop finishes the run in the record. A run whose
    // last entry could not be marked stays unfinished, and the next run
    // compares it with the host.
    struct Finish {
        RunJournal* journal;
        ~Finish()
        {
            if (journal)
                (void)journal->finish();
        }
    } finish{journal};

    Applier applier(update, host, vendor ? &*vendor : nullptr, *hostProducts, journal, report);
    WorkPacer pacer(prompter, "Applying Changes", "Writing the new costs and prices into the host database",
                    rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (StopSignals::requested()) {
            report.stopped = ApplyReport::Stop::Asked;
            report.askedBy = StopSignals::askedBy();
            failAll(i, "not tried: the update was stopped by " + report.askedBy + " before it");
            return report;
        }
        switch (applier.apply(*rows[i], pacer, i)) {
        case RowResult::Updated:
            ++report.updated;
            break;
        case RowResult::Unchanged:
            ++report.unchanged;
            break;
        case RowResult::Failed:
            break;
        case RowResult::NotRecorded:
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = report.failed.back().reason;
            failAll(i + 1, "not tried: the run could not be recorded");
            return report;
        case RowResult::FileRefused:
            // In rollback mode the engine itself refuses to write to a file
            // that was deleted or moved: that is the path check's case.
            if (!host.stillAtPath().ok()) {
                leftPath(i + 1);
                return report;
            }
            failAll(i + 1, "not tried: the host database refused the save before it");
            return report;
        case RowResult::HostLeftPath:
            leftPath(i + 1);
            return report;
        }
        if (!applier.recordFailure().empty()) {
            report.stopped = ApplyReport::Stop::NotRecorded;
            report.recordError = applier.recordFailure();
            failAll(i + 1, "not tried: the run could not be recorded");
            return report;
        }
        pacer.step(i + 1);
    }
    return report;
}

} // namespace tarvex
