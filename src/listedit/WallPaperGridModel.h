#pragma once

#include "listedit/WallPaperList.h"

#include <QAbstractTableModel>

#include <functional>

// The rows of the list editor's grid: one row per entry, the picture path shown split into file
// name and folder. The row numbers are the vertical header. An empty list still shows one blank
// row (no number), so the grid never has zero rows; that row is not an entry and is never saved.
class WallPaperGridModel : public QAbstractTableModel {
public:
    enum Column { NameColumn, FolderColumn, PositionColumn, CorrectionColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    bool IsEmpty() const { return entries_.empty(); }
    const WallPaperList &Entries() const { return entries_; }

    // Replaces all rows (an empty list shows the blank row).
    void SetEntries(WallPaperList entries);
    void Clear() { SetEntries({}); }
    // Appends entries after the last row; on an empty list they replace the blank row.
    void Append(const WallPaperList &entries);
    // Removes rows top..bottom (clamped to the entries).
    void RemoveRows(int top, int bottom);
    // Moves one row so that it ends up at index `to`; the rows between shift by one.
    void MoveRow(int from, int to);
    // Sets the position or the correction text (CP932) of rows top..bottom.
    void SetPositions(int top, int bottom, const std::string &positionText);
    void SetCorrections(int top, int bottom, const std::string &correctionText);

    // Whether the rows hold changes not yet saved. The editor's commands set it (moving a row
    // included); OnModifiedChanged tells of each change of the flag (the Save action mirrors it).
    bool Modified() const { return modified_; }
    void SetModified(bool modified);
    std::function<void(bool modified)> OnModifiedChanged;

    // Entry of a row; its picture path is the folder cell joined with the file-name cell.
    const WallPaperEntry &Entry(int row) const { return entries_.at(static_cast<size_t>(row)); }

private:
    void SetField(int top, int bottom, std::string WallPaperEntry::*field, const std::string &text, int column);

    WallPaperList entries_;
    bool modified_ = false;
};
