#include "dialogs/PlayListModel.h"

#include "library/SongNames.h"

namespace corvalin {

int TPlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_.rowCount();
}

int TPlayListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TPlayListTable::ColumnCount;
}

QVariant TPlayListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= table_.rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        // A name that is not UTF-8 is shown with its odd bytes read as Windows-1252.
        if (index.column() == plcFileName)
            return ShownFileName(table_.cell(index.row(), index.column()));
        return table_.cell(index.row(), index.column());
    }
    return {};
}

QVariant TPlayListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const names[] = {"FileName", "Played", "Order", "Random"};
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < TPlayListTable::ColumnCount)
        return QString::fromLatin1(names[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TPlayListModel::reset() {
    beginResetModel();
    endResetModel();
}

void TPlayListModel::rowChanged(int row) {
    rowsChanged(row, row);
}

void TPlayListModel::rowsChanged(int first, int last) {
    if (first > last)
        std::swap(first, last);
    Q_EMIT dataChanged(index(first, 0), index(last, TPlayListTable::ColumnCount - 1));
}

} // namespace corvalin
