// Applying the selected rows, one host record save at a time.
#include "review/ChangeApplier.h"

#include "data/DatabaseNames.h"
#include "platform/StopSignals.h"
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

enum class RowResult { Unchanged, Updated, Failed, FileRefused, HostLeftPath };

class Applier {
public:
    Applier(Database& update, Database& host, Recordset& vendor, Recordset& hostProducts, ApplyReport& report)
        : m_update(update)
        , m_host(host)
        , m_vendor(vendor)
        , m_hostProducts(hostProducts)
        , m_report(report)
    {
    }

    RowResult apply(const ProposedChange& row, WorkPacer& pacer, std::uint64_t done)
    {
        Status found = m_vendor.seek(Key{row.vendorId});
        if (!found.ok())
            return fail(row, m_update.path() + ": " + found.error());
        if (m_vendor.noMatch())
            return RowResult::Unchanged;
        Result<std::optional<std::string>> quickid = m_vendor.text(names::kQuickId);
        if (!quickid.ok())
            return fail(row, m_update.path() + ": " + quickid.error());
        if (!*quickid)
            return RowResult::Unchanged;
        found = m_hostProducts.seek(Key{**quickid});
        if (!found.ok())
            return fail(row, m_host.path() + ": " + found.error());
        if (m_hostProducts.noMatch())
            return RowResult::Unchanged;
        Result<ProductValues> values = readProductValues(m_update, m_vendor, m_host, m_hostProducts);
        if (!values.ok())
            return fail(row, values.error());

        // Cost and price are decided separately but saved together, in one
        // save of the record: an interruption (a crash, a cut power, another
        // program's lock) leaves the product wholly old or wholly new, never
        // with a new cost beside its old price.
        bool writeCost = costToWrite(values->vendorCost, values->hostCost);
        bool writePrice = priceToWrite(values->vendorPrice, values->hostPrice);
        pacer.step(done);
        if (!writeCost && !writePrice)
            return RowResult::Unchanged;
        // Checked before every save, not once: a file deleted or replaced
        // half-way would take the rest of the saves unseen (in WAL mode the
        // engine does not notice at all).
        if (Status same = m_host.stillAtPath(); !same.ok()) {
            fail(row, same.error() + "; not written");
            return RowResult::HostLeftPath;
        }
        Status s = m_hostProducts.edit();
        if (s.ok() && writeCost)
            s = m_hostProducts.setNumber(names::kCost, *values->vendorCost);
        if (s.ok() && writePrice)
            s = m_hostProducts.setNumber(names::kRetailPrice, *values->vendorPrice);
        if (s.ok())
            s = m_hostProducts.update();
        if (s.ok())
            return RowResult::Updated;
        if (fileRefusesWrites(s))
            return refuse(row, s.error());
        return fail(row, m_host.path() + ": " + s.error());
    }

private:
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

    Database& m_update;
    Database& m_host;
    Recordset& m_vendor;
    Recordset& m_hostProducts;
    ApplyReport& m_report;
};

} // namespace

ApplyReport applyChanges(Database& update, Database& host, const std::vector<const ProposedChange*>& rows,
                         Prompter& prompter)
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
    ReadHold updateRead(update);
    Result<Recordset> vendor = update.openTable(names::kProduct, {names::kQuickId, names::kCost, names::kRetailPrice});
    Status ready = vendor.status();
    if (ready.ok())
        ready = vendor->setIndex(names::kPrimaryKeyIndex);
    if (!ready.ok()) {
        failAll(0, update.path() + ": " + ready.error());
        return report;
    }
    Result<Recordset> hostProducts =
        host.openTable(names::kProduct, {names::kQuickId, names::kCost, names::kRetailPrice});
    ready = hostProducts.status();
    if (ready.ok())
        ready = hostProducts->setIndex(names::kQuickIdIndex);
    if (!ready.ok()) {
        failAll(0, host.path() + ": " + ready.error());
        return report;
    }

    // The host file must still be the one that was opened and backed up:
    // saves into a file deleted or replaced since would be lost unseen.
    if (Status same = host.stillAtPath(); !same.ok()) {
        report.stopped = ApplyReport::Stop::HostLeftPath;
        failAll(0, same.error() + "; nothing was written to it");
        return report;
    }

    Applier applier(update, host, *vendor, *hostProducts, report);
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
        pacer.step(i + 1);
    }
    return report;
}

} // namespace tarvex
