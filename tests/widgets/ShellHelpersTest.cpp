#include "app/ShellTestSupport.h"
#include "widgets/StringGrid.h"
#include "widgets/grid_common.h"
#include "widgets/msg_common.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vorteq;

namespace {

// Runs `act` on the first message box that opens, once the event loop shows it.
void onNextMessageBox(std::function<void(QMessageBox&)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                act(*box);
                return;
            }
        }
        QFAIL("no message box is open");
    });
}

QAbstractButton* buttonNamed(QMessageBox& box, const char* name)
{
    return box.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

// A grid of cols x rows whose every cell holds "c,r".
void fillGrid(StringGrid& grid, int cols, int rows)
{
    grid.setColCount(cols);
    grid.setRowCount(rows);
    for (int c = 0; c < cols; ++c) {
        for (int r = 0; r < rows; ++r)
            grid.setCell(c, r, QStringLiteral("%1,%2").arg(c).arg(r));
    }
}

int blankCells(const StringGrid& grid)
{
    int blanks = 0;
    for (int c = 0; c < grid.colCount(); ++c) {
        for (int r = 0; r < grid.rowCount(); ++r)
            blanks += grid.cell(c, r).isEmpty() ? 1 : 0;
    }
    return blanks;
}

} // namespace

class ShellHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void confirmationsAreTrueOnlyForYes();
    void everyHelperBoxIsAConfirmation();
    void yesNoBoxTellsNoFromClosing();
    void okBoxShowsKindTitleAndLineBreaks();
    void saveDialogAsksForAnExportFile();
    void clearGridCellsBlanksTheRectangleOnly();
    void clearGridCellsWithReversedBoundsChangesNothing();
    void clearGridCellsNeverResizesTheGrid();
    void gridKeepsRowsWrittenBeforeItGrows();
};

void ShellHelpersTest::confirmationsAreTrueOnlyForYes()
{
    test::ScriptedUi ui;
    for (const auto& ask :
         {std::function<bool()>(msg_confirm_register), std::function<bool()>(msg_confirm_delete)}) {
        ui.messages->answer(MsgResult::Yes);
        QVERIFY(ask());
        ui.messages->answer(MsgResult::No);
        QVERIFY(!ask());
        ui.messages->answer(MsgResult::Dismissed); // closing the box is not a Yes
        QVERIFY(!ask());
    }
    QCOMPARE(ui.messages->unanswered(), 0);
    QCOMPARE(ui.messages->last().text, QStringLiteral("データを削除します。よろしいですか？"));
    QVERIFY(ui.messages->last().buttons == MsgButtons::YesNo);
}

void ShellHelpersTest::everyHelperBoxIsAConfirmation()
{
    test::ScriptedUi ui;
    msg_no_data();
    msg_sql_error();
    msg_registered();
    msg_deleted();
    msg_show(QString()); // an empty text still shows its box
    const auto& shown = ui.messages->shown();
    QCOMPARE(shown.size(), std::size_t{5});
    QCOMPARE(shown[0].text, QStringLiteral("データがありませんでした。"));
    QCOMPARE(shown[1].text, QStringLiteral("SQL ERROR"));
    QCOMPARE(shown[2].text, QStringLiteral("データを登録しました。"));
    QCOMPARE(shown[3].text, QStringLiteral("データを削除しました。"));
    QVERIFY(shown[4].text.isEmpty());
    for (const auto& box : shown) {
        QVERIFY(box.kind == MsgKind::Confirmation);
        QVERIFY(box.buttons == MsgButtons::Ok);
    }
}

void ShellHelpersTest::yesNoBoxTellsNoFromClosing()
{
    QtMessageDialog dialog;

    onNextMessageBox([](QMessageBox& box) {
        QCOMPARE(box.windowTitle(), QStringLiteral("確認"));
        QCOMPARE(buttonNamed(box, "btn_msg_yes")->text(), QStringLiteral("はい(&Y)"));
        QCOMPARE(buttonNamed(box, "btn_msg_no")->text(), QStringLiteral("いいえ(&N)"));
        QVERIFY(!buttonNamed(box, "btn_msg_dismiss")->isVisible());
        buttonNamed(box, "btn_msg_no")->click();
    });
    QVERIFY(dialog.show(QStringLiteral("終了しますか"), MsgKind::Confirmation, MsgButtons::YesNo) ==
            MsgResult::No);

    onNextMessageBox([](QMessageBox& box) { buttonNamed(box, "btn_msg_yes")->click(); });
    QVERIFY(dialog.show(QStringLiteral("終了しますか"), MsgKind::Confirmation, MsgButtons::YesNo) ==
            MsgResult::Yes);

    onNextMessageBox([](QMessageBox& box) { box.close(); });
    QVERIFY(dialog.show(QStringLiteral("終了しますか"), MsgKind::Confirmation, MsgButtons::YesNo) ==
            MsgResult::Dismissed);

    onNextMessageBox([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    QVERIFY(dialog.show(QStringLiteral("終了しますか"), MsgKind::Confirmation, MsgButtons::YesNo) ==
            MsgResult::Dismissed);
}

void ShellHelpersTest::okBoxShowsKindTitleAndLineBreaks()
{
    QtMessageDialog dialog;
    const struct {
        MsgKind kind;
        QString title;
        QMessageBox::Icon icon;
    } kinds[] = {
        {MsgKind::Warning, QStringLiteral("警告"), QMessageBox::Warning},
        {MsgKind::Error, QStringLiteral("エラー"), QMessageBox::Critical},
        {MsgKind::Information, QStringLiteral("情報"), QMessageBox::Information},
        {MsgKind::Confirmation, QStringLiteral("確認"), QMessageBox::Question},
    };
    for (const auto& k : kinds) {
        onNextMessageBox([&k](QMessageBox& box) {
            QCOMPARE(box.windowTitle(), k.title);
            QCOMPARE(box.icon(), k.icon);
            // LF CR between lines shows as one line break, an empty line as an empty line.
            QCOMPARE(box.text(), QStringLiteral("一行目\n\n三行目"));
            QCOMPARE(buttonNamed(box, "btn_msg_ok")->text(), QStringLiteral("OK"));
            buttonNamed(box, "btn_msg_ok")->click();
        });
        QVERIFY(dialog.show(QStringLiteral("一行目\n\r\n\r三行目"), k.kind, MsgButtons::Ok) == MsgResult::Ok);
    }
}

void ShellHelpersTest::saveDialogAsksForAnExportFile()
{
    QTemporaryDir dir;
    QtFileSaveDialog dialog;
    QTimer::singleShot(0, [&dir] {
        auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(fileDialog);
        QCOMPARE(fileDialog->windowTitle(), QStringLiteral("データの出力"));
        const QStringList filters{QStringLiteral("csv file (*.csv)"), QStringLiteral("text file (*.txt)"),
                                  QStringLiteral("All (*.*)")};
        QCOMPARE(fileDialog->nameFilters(), filters);
        fileDialog->setDirectory(dir.path());
        fileDialog->selectFile(QStringLiteral("result"));
        static_cast<QDialog*>(fileDialog)->accept(); // the dialog's own accept reads the typed name
    });
    // A name typed without an extension gets the default one.
    QCOMPARE(dialog.askSavePath(exportSaveRequest()).value_or(QString()),
             dir.filePath(QStringLiteral("result.csv")));

    QTimer::singleShot(0, [] {
        auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(fileDialog);
        fileDialog->reject();
    });
    QVERIFY(!dialog.askSavePath(exportSaveRequest()));
}

void ShellHelpersTest::clearGridCellsBlanksTheRectangleOnly()
{
    StringGrid grid;
    fillGrid(grid, 4, 5);

    // The whole body from row 1: the title row keeps its texts.
    clear_grid_cells(grid, 0, grid.colCount() - 1, 1, grid.rowCount() - 1);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(grid.cell(c, 0), QStringLiteral("%1,0").arg(c));
        for (int r = 1; r < 5; ++r)
            QVERIFY(grid.cell(c, r).isEmpty());
    }

    fillGrid(grid, 4, 5);
    clear_grid_cells(grid, 1, 2, 2, 3);
    QCOMPARE(blankCells(grid), 4);
    QVERIFY(grid.cell(1, 2).isEmpty() && grid.cell(2, 3).isEmpty() && grid.cell(1, 3).isEmpty());
    QCOMPARE(grid.cell(0, 2), QStringLiteral("0,2"));
    QCOMPARE(grid.cell(3, 3), QStringLiteral("3,3"));
    QCOMPARE(grid.cell(1, 1), QStringLiteral("1,1"));
    QCOMPARE(grid.cell(1, 4), QStringLiteral("1,4"));

    // A single cell, bounds equal.
    fillGrid(grid, 4, 5);
    clear_grid_cells(grid, 3, 3, 4, 4);
    QCOMPARE(blankCells(grid), 1);
    QVERIFY(grid.cell(3, 4).isEmpty());
}

void ShellHelpersTest::clearGridCellsWithReversedBoundsChangesNothing()
{
    StringGrid grid;
    fillGrid(grid, 3, 1); // a grid with its title row only: rows 1 to 0 is an empty range
    clear_grid_cells(grid, 0, 2, 1, 0);
    QCOMPARE(blankCells(grid), 0);

    fillGrid(grid, 3, 4);
    clear_grid_cells(grid, 2, 1, 1, 3);
    QCOMPARE(blankCells(grid), 0);
    clear_grid_cells(grid, 0, 2, 3, 2);
    QCOMPARE(blankCells(grid), 0);
}

void ShellHelpersTest::clearGridCellsNeverResizesTheGrid()
{
    StringGrid grid;
    fillGrid(grid, 3, 4);
    clear_grid_cells(grid, -5, 1000000, 1, 1000000);
    QCOMPARE(grid.colCount(), 3);
    QCOMPARE(grid.rowCount(), 4);
    QCOMPARE(blankCells(grid), 9);
    QCOMPARE(grid.cell(2, 0), QStringLiteral("2,0"));
    QVERIFY(grid.cell(5, 5).isEmpty());
}

void ShellHelpersTest::gridKeepsRowsWrittenBeforeItGrows()
{
    // A filler writes its rows first and sets the row count after; rows beyond the new count go away.
    StringGrid grid;
    grid.setColCount(2);
    grid.setRowCount(2);
    grid.setCell(0, 1, QStringLiteral("a"));
    grid.setCell(1, 3, QStringLiteral("b"));
    QCOMPARE(grid.rowCount(), 2);
    grid.setRowCount(4);
    QCOMPARE(grid.cell(1, 3), QStringLiteral("b"));
    QCOMPARE(grid.model().rowCount(), 3); // body rows shown below the title row
    QCOMPARE(grid.model().data(grid.model().index(2, 1), Qt::DisplayRole).toString(), QStringLiteral("b"));

    grid.setRowCount(2);
    grid.setRowCount(4);
    QVERIFY(grid.cell(1, 3).isEmpty());
    QCOMPARE(grid.cell(0, 1), QStringLiteral("a"));
}

QTEST_MAIN(ShellHelpersTest)
#include "ShellHelpersTest.moc"
