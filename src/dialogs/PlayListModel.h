#pragma once

#include "library/PlayList.h"

#include <QAbstractTableModel>

namespace corvalin {

// The editor's list as a table for a view: the rows and four columns of a TPlayListTable, which
// stays the one owner of the entries. Whoever changes the table tells the model (reset() after
// a rebuild, rowChanged() after a rename). Window thread.
class TPlayListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TPlayListModel(const TPlayListTable& table, QObject* parent = nullptr)
        : QAbstractTableModel(parent), table_(table) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The table was rebuilt or re-sorted: every view forgets its rows and selection.
    void reset();
    // The cells of one row changed.
    void rowChanged(int row);
    // Two rows exchanged their cells.
    void rowsChanged(int first, int last);

private:
    const TPlayListTable& table_;
};

} // namespace corvalin
