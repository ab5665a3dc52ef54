// The review window itself, offscreen: its list, its label and its buttons,
// driven as a user would while runReviewWindow waits in the window's loop.
#include "ReviewFixture.h"

#include "app/ReviewWindow.h"
#include "review/qt/ReviewDialog.h"
#include "review/qt/TitleHeader.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>

#include <functional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QWidget* reviewWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmUpdate" && w->isVisible())
            return w;
    return nullptr;
}

// Runs step once the review window is on screen. Whatever step leaves open
// is closed afterwards, so that a failing check cannot leave the test waiting.
void whenShown(std::function<void(QWidget*)> step)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, step] {
        QWidget* window = reviewWindow();
        if (!window)
            return;
        poll->stop();
        poll->deleteLater();
        step(window);
        if (auto* dialog = qobject_cast<QDialog*>(reviewWindow()))
            dialog->done(QDialog::Rejected);
    });
    poll->start();
}

void click(QWidget* window, const char* name)
{
    auto* button = window->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// A click on a row of the list, as the mouse gives it, with modifiers held.
void clickRow(QTableView* list, int row, Qt::KeyboardModifiers modifiers)
{
    QPointF at = list->visualRect(list->model()->index(row, 0)).center();
    QPointF global = list->viewport()->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, modifiers);
        QApplication::sendEvent(list->viewport(), &event);
    }
}

// A click on the check box of a row's first cell.
void clickCheckBox(QTableView* list, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(list->model()->index(row, 0));
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    QPointF at = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
    QPointF global = list->viewport()->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
    }
}

// A click on a column title.
void clickTitle(QTableView* list, int column)
{
    QHeaderView* header = list->horizontalHeader();
    QPointF at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QPointF global = header->viewport()->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &event);
    }
}

void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &event);
}

QStringList shownCodes(QTableView* list)
{
    QStringList codes;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        codes << list->model()->index(row, 0).data().toString();
    return codes;
}

class ReviewWindowTest : public ReviewFixture {
protected:
    RunState runState()
    {
        open();
        return RunState{std::move(*update), std::move(*host), hostPath, "", ""};
    }
};

TEST_F(ReviewWindowTest, ShowsTheProposedChangesAndAppliesThemAll)
{
    const std::string longCode = "LOWER-NAIL-FILE-PRO-000123";
    make({{1, "BOTH", "Hair gel", 11.0, 30.0}, {2, longCode, "Nail file", 9.5, 12.5}, {3, "SAME", "", 1.0, 1.0}},
         {{"BOTH", 10.0, 25.0}, {longCode, 10.0, 12.5}, {"SAME", 1.0, 1.0}});
    RunState run = runState();
    prompter.setBusy(true);

    whenShown([&](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), "Proposed Changes to Products ");
        EXPECT_TRUE(window->isModal());
        EXPECT_FALSE(prompter.busyChanges.back());
        auto* list = window->findChild<QTableView*>("uList");
        ASSERT_NE(list, nullptr);
        QAbstractItemModel* model = list->model();
        QStringList titles;
        for (int c = 0; c < model->columnCount(); ++c)
            titles << model->headerData(c, Qt::Horizontal).toString();
        EXPECT_EQ(titles, (QStringList{"Product Code", "Product Name", "Current Cost", "New Cost", "Current Price",
                                       "New Price", "Change"}));
        EXPECT_NEAR(double(list->columnWidth(2)) / list->columnWidth(1), 75.0 / 200.0, 0.02);
        EXPECT_EQ(list->columnWidth(3), list->columnWidth(5));
        // The Change column gives the long code its room, keeping its own.
        QFontMetrics metrics(list->font());
        EXPECT_GE(list->columnWidth(6), metrics.horizontalAdvance(model->index(0, 6).data().toString()));
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(list->font().family(), "Century Gothic");
        EXPECT_DOUBLE_EQ(list->font().pointSizeF(), 8.25);
        EXPECT_FALSE(list->font().bold());
        EXPECT_EQ(list->horizontalHeader()->font().family(), "Century Gothic");
        EXPECT_DOUBLE_EQ(list->horizontalHeader()->font().pointSizeF(), 8.25);

        ASSERT_EQ(model->rowCount(), 2);
        QStringList first;
        for (int c = 0; c < 7; ++c)
            first << model->index(0, c).data().toString();
        EXPECT_EQ(first, (QStringList{"BOTH", "Hair gel", "10", "11", "25", "30", " Cost Change and Price Change"}));
        EXPECT_EQ(model->index(1, 3).data().toString(), "9.5");
        EXPECT_EQ(model->index(1, 5).data().toString(), "12.5");
        EXPECT_EQ(model->index(1, 6).data().toString(), " Price Change");
        EXPECT_EQ(model->index(0, 0).data(Qt::UserRole).toLongLong(), 1);
        EXPECT_EQ(model->index(1, 0).data(Qt::UserRole).toLongLong(), 2);

        // At 1024x768 the long code shows whole beside its check box and the
        // room of a flag, the Change labels too, and nothing scrolls sideways;
        // the tooltip holds the code.
        window->resize(1024, 768);
        QApplication::processEvents();
        int icon = list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list);
        int box = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
        EXPECT_GE(list->columnWidth(0), metrics.horizontalAdvance(QString::fromStdString(longCode)) + icon + box);
        EXPECT_GE(list->columnWidth(6), metrics.horizontalAdvance(model->index(0, 6).data().toString()));
        int total = 0;
        for (int c = 0; c < model->columnCount(); ++c)
            total += list->columnWidth(c);
        EXPECT_LE(total, list->viewport()->width());
        EXPECT_EQ(model->index(1, 0).data(Qt::ToolTipRole).toString().toStdString(), longCode);
        EXPECT_EQ(model->headerData(4, Qt::Horizontal, Qt::ToolTipRole).toString(), "Current Price");
        // Every title shows whole: where its column is too narrow for it
        // ("Current Cost" here), on two lines, and the header holds them.
        auto* header = qobject_cast<TitleHeader*>(list->horizontalHeader());
        ASSERT_NE(header, nullptr);
        for (int c = 0; c < model->columnCount(); ++c) {
            QString shown = header->shownTitle(c);
            EXPECT_EQ(shown.split('\n').join(' '), titles[c]);
            EXPECT_GE(header->height(), (shown.count('\n') + 1) * header->fontMetrics().height()) << c;
        }
        EXPECT_EQ(header->shownTitle(2), "Current\nCost");
        // Both its lines are drawn: dark text in the upper and the lower half
        // of its section.
        const QImage shot = header->grab().toImage();
        auto inkIn = [&](int top, int bottom) {
            int ink = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = header->sectionViewportPosition(2); x < header->sectionViewportPosition(3); ++x)
                    ink += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
            return ink;
        };
        EXPECT_GT(inkIn(0, header->height() / 2), 0);
        EXPECT_GT(inkIn(header->height() / 2, header->height()), 0);
        // A column widened by hand shows its title on one line; with no
        // title on two lines left, the header is one line tall again.
        const int twoLines = header->height();
        const int narrow = list->columnWidth(2);
        list->setColumnWidth(2, 3 * narrow);
        list->setColumnWidth(4, 3 * narrow);
        QApplication::processEvents();
        EXPECT_EQ(header->shownTitle(2), "Current Cost");
        EXPECT_LT(header->height(), twoLines);
        list->setColumnWidth(2, narrow);
        list->setColumnWidth(4, narrow);
        QApplication::processEvents();
        EXPECT_EQ(header->height(), twoLines);
        EXPECT_EQ(window->findChild<QLabel*>("Label1")->text(), "2 Products to be Updated");

        EXPECT_EQ(window->findChild<QPushButton*>("OKButton")->text(), "Apply Changes");
        EXPECT_EQ(window->findChild<QPushButton*>("CancelButton")->text(), "Exit");
        EXPECT_EQ(window->findChild<QPushButton*>("PrintButton")->text(), "Print List");
        EXPECT_EQ(window->findChild<QPushButton*>("UnSelectButton")->text(), "UnSelect All");
        click(window, "SelectButton");
        EXPECT_EQ(list->selectionModel()->selectedRows().size(), 2);
        click(window, "OKButton");
    });
    RunEnd end = runReviewWindow(run, prompter);

    EXPECT_EQ(end, RunEnd::Normal);
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().text, "Update Complete");
    EXPECT_EQ(prompter.messages.back().detail, "2 products updated.");
    std::vector<HostRow> now = readHostProducts(hostPath);
    EXPECT_EQ(now[0].cost, 11.0);
    EXPECT_EQ(now[0].price, 30.0);
    EXPECT_EQ(now[1].cost, 9.5);
    EXPECT_EQ(now[1].price, 12.5);
    EXPECT_EQ(now[2].cost, 1.0);
}

TEST_F(ReviewWindowTest, NothingSelectedKeepsTheWindowOpenThenOnlyTheRowStillChosenIsApplied)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}, {3, "C", "", 2.0, 2.0}},
         {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}, {"C", 1.0, 1.0}});
    RunState run = runState();
    bool stillOpen = false;
    whenShown([&](QWidget* window) {
        auto* list = window->findChild<QTableView*>("uList");
        // A current row without a selection is still nothing selected.
        list->setCurrentIndex(list->model()->index(0, 0));
        list->clearSelection();
        click(window, "OKButton");
        ASSERT_FALSE(prompter.messages.empty());
        EXPECT_EQ(prompter.messages.back().caption, "Nothing Selected");
        stillOpen = window->isVisible();
        EXPECT_EQ(list->model()->rowCount(), 3);

        click(window, "SelectButton");
        click(window, "UnSelectButton");
        EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
        // Rows chosen and then let go again are not applied.
        auto rows = QItemSelectionModel::Rows;
        list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select | rows);
        list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select | rows);
        list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select | rows);
        list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Deselect | rows);
        list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Toggle | rows);
        click(window, "OKButton");
    });
    RunEnd end = runReviewWindow(run, prompter);

    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(end, RunEnd::Normal);
    std::vector<HostRow> now = readHostProducts(hostPath);
    EXPECT_EQ(now[0].cost, 1.0);
    EXPECT_EQ(now[1].cost, 2.0);
    EXPECT_EQ(now[2].cost, 1.0);
}

// Tab and Shift+Tab move the focus on to the buttons and back; they are no
// selection act, so the rows chosen with the mouse stay chosen.
TEST_F(ReviewWindowTest, TabKeepsARowSelectionMadeWithTheMouse)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}, {3, "C", "", 2.0, 2.0}, {4, "D", "", 2.0, 2.0}},
         {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}, {"C", 1.0, 1.0}, {"D", 1.0, 1.0}});
    RunState run = runState();
    whenShown([&](QWidget* window) {
        auto* list = window->findChild<QTableView*>("uList");
        list->setFocus();
        clickRow(list, 0, Qt::NoModifier);
        clickRow(list, 2, Qt::ControlModifier);
        clickRow(list, 3, Qt::ControlModifier);
        ASSERT_EQ(list->selectionModel()->selectedRows().size(), 3);
        for (auto [key, modifiers] :
             {std::pair(Qt::Key_Tab, Qt::NoModifier), std::pair(Qt::Key_Backtab, Qt::ShiftModifier)}) {
            QKeyEvent press(QEvent::KeyPress, key, modifiers);
            QApplication::sendEvent(list, &press);
        }
        EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
        click(window, "OKButton");
    });
    EXPECT_EQ(runReviewWindow(run, prompter), RunEnd::Normal);
    std::vector<double> costs;
    for (const HostRow& row : readHostProducts(hostPath))
        costs.push_back(*row.cost);
    EXPECT_EQ(costs, (std::vector<double>{2.0, 1.0, 2.0, 2.0}));
}

// The filter, the sort, the check boxes, the flags, the keys and the second
// label work around the list without changing it or losing a selection.
TEST_F(ReviewWindowTest, FilterSortChecksAndKeysNeverLoseTheSelection)
{
    make({{1, "S-10", "Shampoo Rose", 11.0, 20.0},
          {2, "C-2", "Conditioner", 30.0, 25.0},
          {3, "S-3", "shampoo mint", 9.0, 18.0},
          {4, "G-1", "Gel", 2.0, 3.0}},
         {{"S-10", 10.0, 20.0}, {"C-2", 10.0, 20.0}, {"S-3", 10.0, 15.0}, {"G-1", 1.5, 3.0}});
    RunState run = runState();
    prompter.answer(Answer::No).answer(Answer::Yes);
    whenShown([&](QWidget* window) {
        auto* list = window->findChild<QTableView*>("uList");
        auto* filter = window->findChild<QLineEdit*>("FilterField");
        auto* shown = window->findChild<QLabel*>("ShownLabel");
        ASSERT_TRUE(list && filter && shown);
        EXPECT_EQ(filter->placeholderText(), "Filter by code or name");
        EXPECT_EQ(shown->text(), "4 shown · 0 of 4 selected");

        filter->setText("SHAMPOO");
        EXPECT_EQ(shownCodes(list), (QStringList{"S-10", "S-3"}));
        click(window, "SelectButton");
        EXPECT_EQ(shown->text(), "2 shown · 2 of 4 selected");
        filter->setText("s-1");
        EXPECT_EQ(shown->text(), "1 shown · 2 of 4 selected, 1 of them not shown");
        filter->clear();
        EXPECT_EQ(list->selectionModel()->selectedRows().size(), 2);
        EXPECT_EQ(window->findChild<QLabel*>("Label1")->text(), "4 Products to be Updated");

        // New Cost: 11, 30, 9, 2 sort as numbers, then in reverse, then back.
        clickTitle(list, 3);
        EXPECT_EQ(shownCodes(list), (QStringList{"G-1", "S-3", "S-10", "C-2"}));
        clickTitle(list, 3);
        EXPECT_EQ(shownCodes(list), (QStringList{"C-2", "S-10", "S-3", "G-1"}));
        clickTitle(list, 3);
        EXPECT_EQ(shownCodes(list), (QStringList{"C-2", "G-1", "S-10", "S-3"}));
        EXPECT_EQ(list->selectionModel()->selectedRows().size(), 2);

        // C-2: its cost triples and its price would be below it.
        QModelIndex flagged = list->model()->index(0, 0);
        EXPECT_FALSE(flagged.data(Qt::DecorationRole).isNull());
        EXPECT_TRUE(list->model()->index(1, 0).data(Qt::DecorationRole).isNull());
        EXPECT_TRUE(flagged.data(Qt::ToolTipRole).toString().contains("below the cost"));
        window->findChild<QCheckBox*>("FlaggedOnly")->setChecked(true);
        EXPECT_EQ(shownCodes(list), (QStringList{"C-2"}));
        window->findChild<QCheckBox*>("FlaggedOnly")->setChecked(false);

        // The box toggles its row alone; moving about changes nothing.
        clickCheckBox(list, 1);
        EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
        EXPECT_EQ(list->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
        list->setFocus();
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Home, Qt::Key_PageDown, Qt::Key_Tab})
            press(list, key);
        EXPECT_EQ(shown->text(), "4 shown · 3 of 4 selected");

        // Escape asks first; No stays, Yes leaves without writing.
        press(window, Qt::Key_Escape);
        ASSERT_TRUE(reviewWindow());
        ASSERT_FALSE(prompter.messages.empty());
        EXPECT_EQ(prompter.messages.back().text, "Leave without applying the 3 selected changes?");
        press(window, Qt::Key_Escape);
        EXPECT_FALSE(reviewWindow());
    });
    EXPECT_EQ(runReviewWindow(run, prompter), RunEnd::Normal);
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(readHostProducts(hostPath)[0].cost, 10.0);
}

// Records whether the review window was on screen when each message showed,
// and tries to apply again and to close the window while work is running.
class WatchingPrompter : public ScriptedPrompter {
public:
    Answer showMessage(const Message& message) override
    {
        windowShownAtMessage.push_back(reviewWindow() != nullptr);
        return ScriptedPrompter::showMessage(message);
    }
    void processEvents(EventScope scope) override
    {
        ScriptedPrompter::processEvents(scope);
        if (QWidget* window = reviewWindow()) {
            window->findChild<QPushButton*>("OKButton")->click();
            window->findChild<QPushButton*>("CancelButton")->click();
            window->close();
            closedDuringWork = closedDuringWork || !window->isVisible();
        }
    }
    std::vector<bool> windowShownAtMessage;
    bool closedDuringWork = false;
};

TEST_F(ReviewWindowTest, ReportsUnreadableProductsOnceShownAndIgnoresClicksDuringApply)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "BAD", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}, {"BAD", 1.0, 1.0}});
    execSql(hostPath, "UPDATE product SET cost = 'ten' WHERE quickid = 'BAD'");
    RunState run = runState();
    WatchingPrompter watcher;
    whenShown([&](QWidget* window) {
        click(window, "SelectButton");
        click(window, "OKButton");
    });
    RunEnd end = runReviewWindow(run, watcher);

    EXPECT_EQ(end, RunEnd::Normal);
    EXPECT_FALSE(watcher.closedDuringWork);
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_EQ(watcher.messages[0].caption, "Products Not Listed");
    EXPECT_NE(watcher.messages[0].text.find("BAD"), std::string::npos);
    EXPECT_TRUE(watcher.windowShownAtMessage[0]);
    EXPECT_EQ(watcher.messages[1].text, "Update Complete");
    EXPECT_EQ(readHostProducts(hostPath)[0].cost, 2.0);
}

TEST_F(ReviewWindowTest, AFailedApplyEndsWithTheErrorStatus)
{
    make({{1, "A", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}});
    execSql(hostPath, "CREATE TRIGGER refuse BEFORE UPDATE ON product BEGIN SELECT RAISE(ABORT, 'frozen'); END");
    RunState run = runState();
    whenShown([&](QWidget* window) {
        click(window, "SelectButton");
        click(window, "OKButton");
    });
    EXPECT_EQ(runReviewWindow(run, prompter), RunEnd::Error);
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().caption, "Update Incomplete");
    EXPECT_EQ(prompter.messages.back().icon, MessageIcon::Critical);
}

TEST_F(ReviewWindowTest, ExitWritesNothing)
{
    make({{1, "A", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}});
    RunState run = runState();
    whenShown([&](QWidget* window) {
        click(window, "SelectButton");
        click(window, "CancelButton");
    });
    EXPECT_EQ(runReviewWindow(run, prompter), RunEnd::Normal);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(readHostProducts(hostPath)[0].cost, 1.0);
}

} // namespace
