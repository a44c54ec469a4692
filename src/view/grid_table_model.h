#pragma once

#include "core/model/grid_model.h"

#include <QAbstractTableModel>

namespace ostrelle {

// Shows a GridModel in a QTableView. Refresh() resets the view only when the grid changed, so a timer
// tick that touched nothing costs nothing.
class GridTableModel : public QAbstractTableModel {
public:
    explicit GridTableModel(const GridModel& grid, QObject* parent = nullptr)
        : QAbstractTableModel(parent), grid_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : grid_.Rows();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : grid_.Cols();
    }
    QVariant data(const QModelIndex& index, int role) const override;

    // True when the grid had changed since the last refresh.
    bool Refresh();

private:
    const GridModel& grid_;
    quint64 shownRevision_ = ~quint64{0};
};

}  // namespace ostrelle
