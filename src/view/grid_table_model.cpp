#include "view/grid_table_model.h"

namespace ostrelle {

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return grid_.CellText(index.row(), index.column());
    // A name cut short by the column can still be read whole, with its folder.
    if (role == Qt::ToolTipRole) {
        const QString path = grid_.CellText(index.row(), kPathColumn);
        return path.isEmpty() ? QVariant() : QVariant(path);
    }
    if (role == Qt::TextAlignmentRole) {
        const int code = grid_.Alignment(index.row(), index.column());
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (code == GridModel::kAlignCentre ? Qt::AlignHCenter : Qt::AlignLeft));
    }
    return {};
}

bool GridTableModel::Refresh() {
    if (grid_.Revision() == shownRevision_) return false;
    beginResetModel();
    shownRevision_ = grid_.Revision();
    endResetModel();
    return true;
}

}  // namespace ostrelle
