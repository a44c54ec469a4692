#include "core/model/grid_model.h"

#include <algorithm>

namespace ostrelle {

void GridModel::Resize(int rows, int cols) {
    ++revision_;
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    if (cols == cols_) {
        texts_.resize(static_cast<size_t>(rows) * cols);
        alignments_.resize(static_cast<size_t>(rows) * cols, 0);
    } else {
        std::vector<QString> texts(static_cast<size_t>(rows) * cols);
        std::vector<int> alignments(static_cast<size_t>(rows) * cols, 0);
        for (int r = 0; r < std::min(rows, rows_); ++r) {
            for (int c = 0; c < std::min(cols, cols_); ++c) {
                texts[static_cast<size_t>(r) * cols + c] = std::move(texts_[Index(r, c)]);
                alignments[static_cast<size_t>(r) * cols + c] = alignments_[Index(r, c)];
            }
        }
        texts_ = std::move(texts);
        alignments_ = std::move(alignments);
        widths_.resize(cols, 0);
    }
    rows_ = rows;
    cols_ = cols;
    if (selectedRow_ >= rows_) selectedRow_ = -1;
    if (activeRow_ >= rows_) activeRow_ = 0;
}

void GridModel::SetRows(int rows) {
    Resize(rows, cols_);
}
void GridModel::SetCols(int cols) {
    Resize(rows_, cols);
}

QString GridModel::CellText(int row, int col) const {
    return InRange(row, col) ? texts_[Index(row, col)] : QString();
}

void GridModel::SetCellText(int row, int col, const QString& text) {
    ++revision_;
    if (InRange(row, col)) texts_[Index(row, col)] = text;
}

void GridModel::SetActiveCell(int row, int col) {
    if (!InRange(row, col)) return;
    activeRow_ = row;
    activeCol_ = col;
}

void GridModel::FocusTopLeft() {
    activeRow_ = 0;
    activeCol_ = 0;
    selectedRow_ = -1;
    ++topRequests_;
}

void GridModel::ClearRange(int firstRow, int firstCol, int lastRow, int lastCol) {
    ++revision_;
    for (int r = std::max(firstRow, 0); r <= std::min(lastRow, rows_ - 1); ++r)
        for (int c = std::max(firstCol, 0); c <= std::min(lastCol, cols_ - 1); ++c)
            texts_[Index(r, c)].clear();
}

void GridModel::SelectRange(int firstRow, int /*firstCol*/, int lastRow, int /*lastCol*/) {
    // The playlist selects whole rows only; a block of several rows shows its first.
    const int row = std::min(firstRow, lastRow);
    selectedRow_ = row >= 0 && row < rows_ ? row : -1;
}

void GridModel::SetAlignment(int firstRow, int firstCol, int lastRow, int lastCol, int code) {
    ++revision_;
    for (int r = std::max(firstRow, 0); r <= std::min(lastRow, rows_ - 1); ++r)
        for (int c = std::max(firstCol, 0); c <= std::min(lastCol, cols_ - 1); ++c)
            alignments_[Index(r, c)] = code;
}

int GridModel::Alignment(int row, int col) const {
    return InRange(row, col) ? alignments_[Index(row, col)] : 0;
}

int GridModel::ColumnWidth(int col) const {
    return col >= 0 && col < cols_ ? widths_[col] : 0;
}

void GridModel::SetColumnWidth(int col, int width) {
    ++revision_;
    if (col >= 0 && col < cols_) widths_[col] = std::max(width, 0);
}

void SetupPlaylistGrid(GridModel& grid) {
    grid.SetCols(6);
    grid.SetRows(20);
    grid.ClearRange(1, 1, 19, 5);
    grid.SetAlignment(1, 1, 19, 1, GridModel::kAlignCentre);
    grid.fontName = QStringLiteral("Tahoma");
    grid.fontSize = 8;
    constexpr int kWidths[] = {0, 20, 120, 51, 0, 0};
    for (int c = 0; c < 6; ++c)
        grid.SetColumnWidth(c, kWidths[c]);
}

}  // namespace ostrelle
