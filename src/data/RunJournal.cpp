// Opening the run record at the first write, and putting right the runs a
// crash left unfinished.
#include "data/RunJournal.h"

#include "data/HostProducts.h"
#include "data/history/RunProducts.h"
#include "platform/os/StopSignals.h"
#include "platform/os/UserIdentity.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

namespace tarvex {

namespace {

// What the host holds now decides how a pending entry ended.
Result<RecordBatch::Mark> reconcileEntry(const RecordedEntry& entry, const Database& host, Recordset& products)
{
    using R = Result<RecordBatch::Mark>;
    const std::int64_t* id = std::get_if<std::int64_t>(&entry.product.record);
    Result<std::optional<HostAmounts>> now = id ? findHostProduct(host, products, entry.product.code, *id)
                                                : Result<std::optional<HostAmounts>>(std::nullopt);
    if (!now)
        return R(now.status());
    HostAmounts before{entry.product.costBefore, entry.product.priceBefore};
    HostAmounts after{entry.product.costAfter, entry.product.priceAfter};
    if (*now == after)
        return RecordBatch::Mark{entry.id, EntryState::Saved, {}};
    if (!*now)
        return RecordBatch::Mark{entry.id, EntryState::Failed,
                                 "not saved: the product was no longer in the host database"};
    if (*now == before)
        return RecordBatch::Mark{entry.id, EntryState::Failed, "not saved: the run stopped before this product's save"};
    return RecordBatch::Mark{entry.id, EntryState::Failed,
                             "the run stopped at this product, and the host now holds neither its values before "
                             "nor after; it is not put back by an undo"};
}

// How much larger each commit of a plan is than the one before (the first
// holds kFirstCommitEntries). Saving a product takes a flush of the host
// (0.1 ms or more) and recording one about 10 us, so the saves of one
// commit's products outlast the writing of the next, sixteen times larger;
// and each commit flushes the disk about five times beside the host's own
// flushes, so there are few of them.
constexpr std::size_t kAheadGrowth = 16;

} // namespace

RunJournal::RunJournal(RunInfo info)
    : m_info(std::move(info))
{
}

RunJournal::~RunJournal()
{
    settleAhead();
}

Result<std::vector<RecordedEntry>> RunJournal::entriesOf(std::int64_t run)
{
    settleAhead();
    return m_record->entriesOf(run);
}

void RunJournal::openAhead(const std::string& hostPath)
{
    settleAhead();
    if (m_record || m_opened)
        return;
    onThread([this, hostPath] { m_opened.emplace(RunRecordFile::open(hostPath, m_checked)); });
}

void RunJournal::checkAhead(const std::string& hostPath)
{
    settleAhead();
    if (m_record || m_opened)
        return;
    onThread([this, hostPath] { m_checked = RunRecordFile::checkForReading(hostPath); });
}

Status RunJournal::open(Database& host)
{
    settleAhead();
    if (m_record)
        return Status::success();
    Result<RunRecordFile> record =
        m_opened ? std::move(*std::exchange(m_opened, std::nullopt)) : RunRecordFile::open(host.path(), m_checked);
    if (!record)
        return record.status();
    if (Status reconciled = reconcileRuns(*record, host); !reconciled.ok())
        return reconciled;
    m_record.emplace(std::move(*record));
    return Status::success();
}

Status RunJournal::start(Database& host)
{
    if (Status opened = open(host); !opened.ok())
        return opened;
    // The run's start is written with its first products, in one commit:
    // begun now when as many were planned before it as it takes.
    m_started = true;
    if (!m_planStarted && m_planning.size() >= kFirstCommitEntries)
        beginAhead();
    return Status::success();
}

std::size_t RunJournal::plan(ProductEntry entry)
{
    m_planning.push_back(std::move(entry));
    const std::size_t k = m_planGiven + m_planning.size() - 1;
    if (!m_planStarted && m_started && m_planning.size() >= kFirstCommitEntries)
        beginAhead();
    return k;
}

void RunJournal::beginAhead()
{
    settleAhead();
    m_ahead.ids.clear();
    m_ahead.failure.reset();
    m_ahead.rest.reset();
    m_ahead.firstDone = false;
    m_ahead.done = false;
    m_planGiven = m_planning.size();
    m_planStarted = true;
    onThread([this, first = std::exchange(m_planning, {})]() mutable { writeAhead(std::move(first)); });
}

Status RunJournal::planned()
{
    // Fewer than the first commit's share: all go in it.
    if (!m_planStarted)
        beginAhead();
    m_planStarted = false;
    m_planGiven = 0;
    std::unique_lock lock(m_ahead.mutex);
    m_ahead.rest.emplace(std::exchange(m_planning, {}));
    m_ahead.written.notify_all();
    m_ahead.written.wait(lock, [&] { return m_ahead.firstDone || m_ahead.done; });
    if (!m_ahead.firstDone)
        return Status::failure(m_ahead.failure.value_or(path() + ": the run could not be recorded"));
    m_lastCommit = std::chrono::steady_clock::now();
    return Status::success();
}

void RunJournal::onThread(std::function<void()> work)
{
    m_ahead.thread = std::thread([work = std::move(work)] {
        // None of the record's writes is cut short by a stop signal.
        StopSignals::keepFromThisThread();
        work();
    });
}

void RunJournal::writeAhead(std::vector<ProductEntry> first)
{
    // The first entries, with the run's start when this is its first write.
    RecordBatch batch;
    const std::size_t firstCount = first.size();
    batch.intents = std::move(first);
    Result<std::vector<std::int64_t>> ids = [&]() -> Result<std::vector<std::int64_t>> {
        if (m_run)
            return m_record->writeBatch(*m_run, batch);
        Result<RunRecordFile::BegunRun> begun = m_record->beginRun(m_info, batch);
        if (!begun)
            return begun.status();
        m_run = begun->number;
        return std::move(begun->ids);
    }();
    std::unique_lock lock(m_ahead.mutex);
    if (ids) {
        m_ahead.ids = std::move(*ids);
        m_ahead.firstDone = true;
        m_ahead.written.notify_all();
        // The others, once they are all decided, in commits that grow.
        m_ahead.written.wait(lock, [&] { return m_ahead.rest.has_value(); });
        std::vector<ProductEntry> rest = std::move(*m_ahead.rest);
        std::size_t size = std::max<std::size_t>(firstCount, 1) * kAheadGrowth;
        for (std::size_t from = 0; from < rest.size(); size *= kAheadGrowth) {
            const std::size_t to = std::min(rest.size(), from + size);
            RecordBatch more;
            more.intents.assign(std::make_move_iterator(rest.begin() + static_cast<std::ptrdiff_t>(from)),
                                std::make_move_iterator(rest.begin() + static_cast<std::ptrdiff_t>(to)));
            lock.unlock();
            Result<std::vector<std::int64_t>> written = m_record->writeBatch(*m_run, more);
            lock.lock();
            if (!written) {
                m_ahead.failure = written.error();
                break;
            }
            m_ahead.ids.insert(m_ahead.ids.end(), written->begin(), written->end());
            m_ahead.written.notify_all();
            from = to;
        }
    } else {
        m_ahead.failure = ids.error();
    }
    m_ahead.done = true;
    m_ahead.written.notify_all();
}

Result<std::int64_t> RunJournal::plannedEntry(std::size_t k)
{
    std::unique_lock lock(m_ahead.mutex);
    m_ahead.written.wait(lock, [&] { return k < m_ahead.ids.size() || m_ahead.done; });
    if (k < m_ahead.ids.size())
        return m_ahead.ids[k];
    return Result<std::int64_t>::failure(m_ahead.failure.value_or(path() + ": the product was not recorded"));
}

void RunJournal::settleAhead()
{
    if (!m_ahead.thread.joinable())
        return;
    // A plan not ended by planned() ends here with what was handed over:
    // the thread waits for the rest no longer, and the entries planned
    // after are never written (plannedEntry fails for them).
    {
        std::lock_guard lock(m_ahead.mutex);
        if (!m_ahead.rest)
            m_ahead.rest.emplace();
        m_ahead.written.notify_all();
    }
    m_ahead.thread.join();
}

Result<std::int64_t> RunJournal::recordIntent(const ProductEntry& entry)
{
    RecordBatch batch;
    batch.intents.push_back(entry);
    Result<std::vector<std::int64_t>> ids = write(std::move(batch));
    if (!ids)
        return ids.status();
    return ids->front();
}

bool RunJournal::marksDue(std::size_t more) const
{
    return (more > 0 || !m_held.empty()) && std::chrono::steady_clock::now() - m_lastCommit >= m_markInterval;
}

Status RunJournal::writeMarks()
{
    if (!m_run && m_held.empty())
        return Status::success();
    return write({}).status();
}

Result<std::vector<std::int64_t>> RunJournal::write(RecordBatch batch)
{
    using R = Result<std::vector<std::int64_t>>;
    settleAhead();
    if (!m_started)
        return R::failure("the run is not recorded yet");
    if (!m_run) {
        // The first write begins the run: its start and these products go
        // together, and nothing is held before it.
        Result<RunRecordFile::BegunRun> begun = m_record->beginRun(m_info, batch);
        if (!begun)
            return begun.status();
        m_run = begun->number;
        m_lastCommit = std::chrono::steady_clock::now();
        return std::move(begun->ids);
    }
    // The marks held go first, in the same commit: an entry of the same
    // host record recorded after them finds the earlier ones ended.
    batch.marks.insert(batch.marks.begin(), m_held.marks.begin(), m_held.marks.end());
    batch.unchanged.insert(batch.unchanged.begin(), m_held.unchanged.begin(), m_held.unchanged.end());
    Result<std::vector<std::int64_t>> ids = m_record->writeBatch(*m_run, batch);
    if (ids) {
        m_held = {};
        m_lastCommit = std::chrono::steady_clock::now();
    }
    return ids;
}

Status RunJournal::finish()
{
    settleAhead();
    if (!m_run)
        return Status::success();
    // The marks held and the run's end go in one commit.
    Status finished = m_record->finishRun(*m_run, m_held);
    if (finished.ok())
        m_held = {};
    return finished;
}

std::string runTimeText(std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

Result<RunSummary> runToUndo(const std::string& hostPath, std::optional<std::int64_t> number)
{
    using R = Result<RunSummary>;
    Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
    // The runs as the history shows them: a run whose undo was itself undone
    // holds its values again and is the one a plain undo takes.
    Result<std::vector<RunSummary>> runs = record ? runsAsShown(*record) : record.status();
    if (!runs)
        return runs.status();
    if (!number)
        number = latestRunToUndo(*runs);
    if (!number)
        return R::failure("No price update of " + hostPath + " is left to undo: " +
                          (runs->empty() ? "none is recorded in " + RunRecordFile::pathFor(hostPath) + "."
                                         : "every recorded one that changed products is undone."));
    for (const RunSummary& run : *runs)
        if (run.number == *number)
            return run;
    return R::failure("There is no price update number " + std::to_string(*number) + " of " + hostPath +
                      " to undo; tarvex --history lists them.");
}

RunInfo runInfoNow(std::string vendor, std::string updateDatabasePath, std::string backupPath)
{
    RunInfo info;
    info.when = std::time(nullptr);
    info.computer = computerName();
    info.user = userName();
    info.vendor = std::move(vendor);
    info.updateDatabasePath = std::move(updateDatabasePath);
    // The backups lie beside the record: the name alone finds the file.
    info.backupFileName = std::filesystem::path(backupPath).filename().string();
    return info;
}

Status reconcileRuns(RunRecordFile& record, Database& host)
{
    Result<std::vector<std::int64_t>> runs = record.runsToReconcile();
    if (!runs)
        return runs.status();
    if (runs->empty())
        return Status::success();
    // What the host holds now decides, not what this run read at its open
    // (an Access host is served from the image read then): the file is read
    // again while every other writer is kept out.
    if (Status held = host.holdWrites(); !held.ok())
        return Status::failure(held.error() + "; a run that stopped unfinished cannot be compared with it now",
                               held.kind());
    struct Hold {
        Database& host;
        ~Hold() { host.endHold(); }
    } hold{host};
    OpenOptions readOnly;
    readOnly.mode = OpenMode::ReadOnly;
    Result<Database> now = Database::open(host.path(), readOnly);
    if (!now)
        return now.status();
    Result<Recordset> products = openHostProducts(*now);
    if (!products)
        return products.status();
    for (std::int64_t run : *runs) {
        Result<std::vector<RecordedEntry>> entries = record.entriesOf(run);
        if (!entries)
            return entries.status();
        // A run stopped early may leave every product it recorded pending:
        // their marks and the run's end go in one commit.
        RecordBatch marks;
        for (const RecordedEntry& entry : *entries) {
            if (entry.state != EntryState::Pending)
                continue;
            Result<RecordBatch::Mark> mark = reconcileEntry(entry, *now, *products);
            if (!mark)
                return mark.status();
            marks.marks.push_back(std::move(*mark));
        }
        if (Status finished = record.finishRun(run, marks); !finished.ok())
            return finished;
    }
    return Status::success();
}

} // namespace tarvex
