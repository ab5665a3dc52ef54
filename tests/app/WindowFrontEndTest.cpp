// The run in windows as the program wires it: the splash runs the start-up,
// and the application ends with the exit status of how the run ended; and
// the history window, from which a run is chosen to undo.
#include "app/WindowFrontEnd.h"
#include "app/ExitStatus.h"
#include "app/HistoryWindow.h"
#include "data/history/RunProducts.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvex::test {

namespace {

// runInWindows under a watchdog that ends the event loop with -1 should the
// run never end it, so that such a fault fails the test instead of hanging it.
int runGuarded(const std::string& programFolder, Prompter& prompter, std::optional<UndoRequest> undo = std::nullopt)
{
    SystemShell shell;
    SystemFileCopy fileCopy;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(60000);
    return runInWindows(programFolder, prompter, shell, fileCopy, undo);
}

TEST(WindowFrontEndTest, TheApplicationEndsWithTheRunsExitStatus)
{
    TempDir dir;

    // No update database beside the program: an error message, then status 1.
    ScriptedPrompter failing;
    EXPECT_EQ(runGuarded(dir.path().string(), failing), kExitError);
    ASSERT_EQ(failing.messages.size(), 1u);
    EXPECT_EQ(failing.messages[0].text, "Error Loading database");

    // No to the vendor ends the run by the user's choice: status 0.
    makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme"}, {{1, "A1", "", 5.0, 9.0}});
    ScriptedPrompter declining;
    declining.answer(Answer::No);
    EXPECT_EQ(runGuarded(dir.path().string(), declining), kExitOk);
    ASSERT_EQ(declining.messages.size(), 1u);
    EXPECT_EQ(declining.messages[0].caption, "Notice");
}

// An undo in windows needs no price list; with nothing recorded for the host
// it says so and ends in error, having copied and opened nothing.
TEST(WindowFrontEndTest, AnUndoWithNothingRecordedEndsWithItsMessage)
{
    TempDir dir;
    std::string host = dir.file("kv.mdb");
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    dir.write("Merlow.INI", "[Settings]\nDBLocation=" + host + "\n");
    ScriptedPrompter prompter;
    EXPECT_EQ(runGuarded(dir.path().string(), prompter, UndoRequest{}), kExitError);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "There is no price update to undo.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "only kv.mdb and Merlow.INI";
}

RunSummary summary(std::int64_t number, std::size_t changed, bool finished)
{
    RunSummary run;
    run.number = number;
    run.info.when = 1796000000;
    run.info.vendor = "Acme Beauty";
    run.info.backupFileName = "kv.mdb_Tarvex_12082026110000";
    run.changed = changed;
    run.finished = finished;
    return run;
}

// The runs newest first as --history shows them; Undo is offered only for a
// finished run that saved products, and pressing it chooses that run.
TEST(WindowFrontEndTest, TheHistoryWindowListsTheRunsAndChoosesOneToUndo)
{
    RunSummary undo = summary(3, 2, true);
    undo.info.kind = RunKind::Undo;
    undo.info.undoes = 2;
    RunSummary undone = summary(2, 5, true);
    undone.undone = UndoState::Undone;
    RunSummary empty = summary(4, 0, true);
    // Run 5 has not finished because it is running now, in another process.
    RunSummary running = summary(5, 0, false);
    running.running = true;
    HistoryWindow window("/srv/kv.mdb", {empty, undo, undone, summary(1, 1, false), running});
    QAbstractItemModel* model = window.table()->model();
    ASSERT_EQ(model->rowCount(), 5);
    auto cell = [&](int row, int column) { return model->index(row, column).data().toString().toStdString(); };
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString().toStdString(), "Products changed");
    EXPECT_EQ(cell(1, 0), "3");
    EXPECT_EQ(cell(1, 2), "Undo of 2: Acme Beauty");
    EXPECT_EQ(cell(1, 3), "2");
    EXPECT_EQ(cell(1, 4), "kv.mdb_Tarvex_12082026110000");
    EXPECT_EQ(cell(1, 5), "No");
    EXPECT_EQ(cell(2, 5), "Yes");
    EXPECT_EQ(cell(3, 5), "Stopped unfinished");
    EXPECT_EQ(cell(4, 5), "Running now");

    EXPECT_FALSE(window.undoButton()->isEnabled());
    for (int row : {0, 3}) {
        window.table()->selectRow(row);
        EXPECT_FALSE(window.undoButton()->isEnabled()) << row;
    }
    window.table()->selectRow(1);
    ASSERT_TRUE(window.undoButton()->isEnabled());
    window.undoButton()->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.chosenRun(), 3);

    // Products... lists, from the record, what the selected run wrote: run 1
    // saved A1 twice (one product) and run 2 saved B2.
    TempDir dir;
    std::string host = dir.file("kv.mdb");
    makeHostDatabase(host, {{"A1", 1.0, 2.0}, {"B2", 1.0, 2.0}});
    {
        Result<RunRecordFile> record = RunRecordFile::open(host);
        ASSERT_TRUE(record.ok()) << record.error();
        for (const std::vector<ProductEntry>& saves :
             {std::vector<ProductEntry>{{std::int64_t{1}, "A1", "Gel", 1.0, 2.0, 3.0, 2.0, std::nullopt},
                                        {std::int64_t{1}, "A1", "Gel", 3.0, 2.0, 4.0, 2.0, std::nullopt}},
              std::vector<ProductEntry>{{std::int64_t{2}, "B2", "Wax", 1.0, 2.0, 1.0, 5.0, std::nullopt}}}) {
            std::int64_t run = *record->beginRun(runInfoNow("Acme Beauty", "invupdate.mdb", "kv.mdb_Tarvex_1"));
            for (const ProductEntry& save : saves) {
                Result<std::int64_t> entry = record->recordIntent(run, save);
                ASSERT_TRUE(entry.ok() && record->markDone(*entry, EntryState::Saved).ok());
            }
            ASSERT_TRUE(record->finishRun(run).ok());
        }
    }
    Result<RunRecordFile> reading = RunRecordFile::openForReading(host);
    ASSERT_TRUE(reading.ok()) << reading.error();
    HistoryWindow recorded(host, *runsAsShown(*reading));
    EXPECT_FALSE(recorded.productsButton()->isEnabled());
    recorded.table()->selectRow(1);
    ASSERT_TRUE(recorded.productsButton()->isEnabled());
    std::vector<std::vector<std::string>> listed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (dialog->objectName() == "RunProducts")
            if (auto* table = dialog->findChild<QTableView*>()) {
                QAbstractItemModel* products = table->model();
                for (int row = 0; row < products->rowCount(); ++row) {
                    listed.emplace_back();
                    for (int column = 0; column < products->columnCount(); ++column)
                        listed.back().push_back(products->index(row, column).data().toString().toStdString());
                }
            }
        dialog->reject();
    });
    recorded.productsButton()->click();
    EXPECT_EQ(listed, (std::vector<std::vector<std::string>>{{"A1", "Gel", "1", "4", "2", "2", "Saved"}}));
}

} // namespace

} // namespace tarvex::test
