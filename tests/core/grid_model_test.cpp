#include "core/model/grid_model.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(GridModel, UntouchedAndOutOfRangeCellsReadEmpty) {
    GridModel grid;
    grid.SetCols(6);
    grid.SetRows(3);
    EXPECT_EQ(grid.CellText(1, 2), QString());
    grid.SetCellText(5, 2, QStringLiteral("ignored"));
    grid.SetCellText(1, 9, QStringLiteral("ignored"));
    grid.SetCellText(-1, 0, QStringLiteral("ignored"));
    EXPECT_EQ(grid.CellText(5, 2), QString());
    EXPECT_EQ(grid.Rows(), 3);
}

TEST(GridModel, RowCountAddsAndDropsAtTheEnd) {
    GridModel grid;
    grid.SetCols(6);
    grid.SetRows(4);
    for (int r = 1; r < 4; ++r)
        grid.SetCellText(r, 2, QStringLiteral("file%1").arg(r));
    grid.SetRows(3);
    EXPECT_EQ(grid.CellText(2, 2), QStringLiteral("file2"));
    EXPECT_EQ(grid.CellText(3, 2), QString());
    grid.SetRows(5);
    EXPECT_EQ(grid.CellText(1, 2), QStringLiteral("file1"));
    EXPECT_EQ(grid.CellText(3, 2), QString()) << "a dropped row comes back empty";
    EXPECT_EQ(grid.CellText(4, 2), QString());
}

TEST(GridModel, ChangingTheColumnCountKeepsTheTexts) {
    GridModel grid;
    grid.SetCols(3);
    grid.SetRows(2);
    grid.SetCellText(1, 2, QStringLiteral("a"));
    grid.SetColumnWidth(2, 120);
    grid.SetCols(6);
    EXPECT_EQ(grid.CellText(1, 2), QStringLiteral("a"));
    EXPECT_EQ(grid.ColumnWidth(2), 120);
    grid.SetCellText(1, 5, QStringLiteral("b"));
    EXPECT_EQ(grid.CellText(1, 5), QStringLiteral("b"));
}

TEST(GridModel, ClearRangeEmptiesTheBlockOnly) {
    GridModel grid;
    grid.SetCols(6);
    grid.SetRows(5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c)
            grid.SetCellText(r, c, QStringLiteral("x"));
    grid.ClearRange(1, 1, 3, 4);
    EXPECT_EQ(grid.Rows(), 5);
    EXPECT_EQ(grid.CellText(0, 1), QStringLiteral("x"));
    EXPECT_EQ(grid.CellText(1, 0), QStringLiteral("x"));
    EXPECT_EQ(grid.CellText(2, 3), QString());
    EXPECT_EQ(grid.CellText(3, 4), QString());
    EXPECT_EQ(grid.CellText(3, 5), QStringLiteral("x"));
    EXPECT_EQ(grid.CellText(4, 2), QStringLiteral("x"));
    grid.ClearRange(-5, -5, 99, 99);  // clipped to the grid
    EXPECT_EQ(grid.CellText(4, 5), QString());
}

TEST(GridModel, SelectionAndActiveCellFollowTheRows) {
    GridModel grid;
    grid.SetCols(6);
    grid.SetRows(20);
    EXPECT_EQ(grid.SelectedRow(), -1);
    grid.SelectRange(7, 1, 7, 4);
    grid.SetActiveCell(7, 2);
    EXPECT_EQ(grid.SelectedRow(), 7);
    EXPECT_EQ(grid.ActiveRow(), 7);
    grid.SetRows(5);  // the selected row is gone
    EXPECT_EQ(grid.SelectedRow(), -1);
    EXPECT_EQ(grid.ActiveRow(), 0);
    grid.SelectRange(2, 1, 2, 4);
    grid.SetActiveCell(3, 1);
    grid.FocusTopLeft();
    EXPECT_EQ(grid.SelectedRow(), -1);
    EXPECT_EQ(grid.ActiveRow(), 0);
}

TEST(GridModel, PlaylistSetupGivesTheListColumns) {
    GridModel grid;
    grid.SetCols(2);
    grid.SetRows(2);
    grid.SetCellText(1, 1, QStringLiteral("stale"));
    SetupPlaylistGrid(grid);
    EXPECT_EQ(grid.Cols(), 6);
    EXPECT_EQ(grid.Rows(), 20);
    EXPECT_EQ(grid.CellText(1, 1), QString());
    const int widths[] = {0, 20, 120, 51, 0, 0};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(grid.ColumnWidth(c), widths[c]) << c;
    EXPECT_EQ(grid.Alignment(1, 1), GridModel::kAlignCentre);
    EXPECT_EQ(grid.Alignment(19, 1), GridModel::kAlignCentre);
    EXPECT_EQ(grid.fontName, QStringLiteral("Tahoma"));
    EXPECT_EQ(grid.fontSize, 8);
    // Hidden columns still hold text.
    grid.SetCellText(1, 4, QStringLiteral("/music/a.mp3"));
    EXPECT_EQ(grid.CellText(1, 4), QStringLiteral("/music/a.mp3"));
}

}  // namespace
}  // namespace ostrelle
