#pragma once

#include <QString>

#include <vector>

namespace ostrelle {

// The playlist grid as data: cells by row and column (both from 0), the active row, the selected row and
// per-column widths and per-cell alignment codes. Out-of-range reads give the empty text; writes to them
// are ignored, as a cell grid would.
class GridModel {
public:
    static constexpr int kAlignCentre = 10;  // row number and duration
    static constexpr int kAlignLeft = 6;     // file name

    int Rows() const { return rows_; }
    // Adds empty rows at the end or drops rows from the end.
    void SetRows(int rows);
    int Cols() const { return cols_; }
    void SetCols(int cols);

    QString CellText(int row, int col) const;
    void SetCellText(int row, int col, const QString& text);

    // The row of the cell last clicked (0 after the focus moved to the top-left cell).
    int ActiveRow() const { return activeRow_; }
    void SetActiveCell(int row, int col);
    int ActiveCol() const { return activeCol_; }
    // The grid shows its top and no list row stays current.
    void FocusTopLeft();
    // Counts FocusTopLeft() calls, so a view knows when to scroll back to the top.
    quint64 TopRequests() const { return topRequests_; }

    // Every text in the block becomes empty; the row count stays.
    void ClearRange(int firstRow, int firstCol, int lastRow, int lastCol);
    void SelectRange(int firstRow, int firstCol, int lastRow, int lastCol);
    // The selected row, or -1 when nothing is selected.
    int SelectedRow() const { return selectedRow_; }

    void SetAlignment(int firstRow, int firstCol, int lastRow, int lastCol, int code);
    int Alignment(int row, int col) const;

    int ColumnWidth(int col) const;
    void SetColumnWidth(int col, int width);

    // Changes whenever a text, the row or column count or a width changes, so a view knows to redraw.
    quint64 Revision() const { return revision_; }

    QString fontName;
    int fontSize = 9;
    QString toolTip;

private:
    bool InRange(int row, int col) const { return row >= 0 && row < rows_ && col >= 0 && col < cols_; }
    size_t Index(int row, int col) const { return static_cast<size_t>(row) * cols_ + col; }
    void Resize(int rows, int cols);

    int rows_ = 0;
    int cols_ = 0;
    std::vector<QString> texts_;
    std::vector<int> alignments_;
    std::vector<int> widths_;
    int activeRow_ = 0;
    int activeCol_ = 0;
    int selectedRow_ = -1;
    quint64 revision_ = 0;
    quint64 topRequests_ = 0;
};

// The playlist grid's columns. Row 0 and the columns of width 0 (0, the path and 5) are not shown.
inline constexpr int kNumberColumn = 1;
inline constexpr int kFileNameColumn = 2;
inline constexpr int kDurationColumn = 3;
inline constexpr int kPathColumn = 4;

// The playlist grid's set-up: 6 columns, 20 rows, centred numbers and the design column widths.
void SetupPlaylistGrid(GridModel& grid);

}  // namespace ostrelle
