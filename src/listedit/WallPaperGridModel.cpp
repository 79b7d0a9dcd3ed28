#include "listedit/WallPaperGridModel.h"

#include "platform/Paths.h"
#include "platform/ui/QtText.h"

#include <algorithm>

int WallPaperGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(1, static_cast<int>(entries_.size()));
}

int WallPaperGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WallPaperGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(entries_.size()))
        return {};
    const WallPaperEntry &e = entries_[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case NameColumn:
        return Cp932ToQString(SplitPath(e.PicturePath).name);
    case FolderColumn:
        return Cp932ToQString(SplitPath(e.PicturePath).folder);
    case PositionColumn:
        return Cp932ToQString(e.PositionText);
    case CorrectionColumn:
        return Cp932ToQString(e.CorrectionText);
    default:
        return {};
    }
}

QVariant WallPaperGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return IsEmpty() ? QString() : QString::number(section + 1);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignCenter);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("ファイル名");
    case FolderColumn:
        return QStringLiteral("　パ　ス");
    case PositionColumn:
        return QStringLiteral("位置");
    case CorrectionColumn:
        return QStringLiteral("補正");
    default:
        return {};
    }
}

Qt::ItemFlags WallPaperGridModel::flags(const QModelIndex &index) const
{
    // Selectable but never editable in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void WallPaperGridModel::SetEntries(WallPaperList entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

void WallPaperGridModel::Append(const WallPaperList &entries)
{
    if (entries.empty())
        return;
    const int count = static_cast<int>(entries.size());
    if (IsEmpty()) {
        // The blank row turns into the first entry; the rest are new rows, which must not be there
        // before the views are told of them.
        entries_.assign(entries.begin(), entries.begin() + 1);
        emit dataChanged(index(0, 0), index(0, ColumnCount - 1));
        emit headerDataChanged(Qt::Vertical, 0, 0);
        if (count > 1) {
            beginInsertRows(QModelIndex(), 1, count - 1);
            entries_.insert(entries_.end(), entries.begin() + 1, entries.end());
            endInsertRows();
        }
        return;
    }
    const int first = static_cast<int>(entries_.size());
    beginInsertRows(QModelIndex(), first, first + count - 1);
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    endInsertRows();
}

void WallPaperGridModel::RemoveRows(int top, int bottom)
{
    const int last = static_cast<int>(entries_.size()) - 1;
    top = std::max(top, 0);
    bottom = std::min(bottom, last);
    if (top > bottom)
        return;
    if (top == 0 && bottom == last) {
        Clear();
        return;
    }
    beginRemoveRows(QModelIndex(), top, bottom);
    entries_.erase(entries_.begin() + top, entries_.begin() + bottom + 1);
    endRemoveRows();
    // Row numbers below the removed block changed (there are none when the block was the tail).
    if (top < static_cast<int>(entries_.size()))
        emit headerDataChanged(Qt::Vertical, top, static_cast<int>(entries_.size()) - 1);
}

void WallPaperGridModel::MoveRow(int from, int to)
{
    const int count = static_cast<int>(entries_.size());
    if (from == to || from < 0 || to < 0 || from >= count || to >= count)
        return;
    // Qt's destination is the row before which the moved row is inserted, counted before the move.
    if (!beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to))
        return;
    WallPaperEntry moved = std::move(entries_[static_cast<size_t>(from)]);
    entries_.erase(entries_.begin() + from);
    entries_.insert(entries_.begin() + to, std::move(moved));
    endMoveRows();
    emit headerDataChanged(Qt::Vertical, std::min(from, to), std::max(from, to));
}

void WallPaperGridModel::SetField(int top, int bottom, std::string WallPaperEntry::*field, const std::string &text,
                                  int column)
{
    top = std::max(top, 0);
    bottom = std::min(bottom, static_cast<int>(entries_.size()) - 1);
    if (top > bottom)
        return;
    for (int row = top; row <= bottom; ++row)
        entries_[static_cast<size_t>(row)].*field = text;
    emit dataChanged(index(top, column), index(bottom, column));
}

void WallPaperGridModel::SetPositions(int top, int bottom, const std::string &positionText)
{
    SetField(top, bottom, &WallPaperEntry::PositionText, positionText, PositionColumn);
}

void WallPaperGridModel::SetCorrections(int top, int bottom, const std::string &correctionText)
{
    SetField(top, bottom, &WallPaperEntry::CorrectionText, correctionText, CorrectionColumn);
}

void WallPaperGridModel::SetModified(bool modified)
{
    const bool changed = modified != modified_;
    modified_ = modified;
    if (changed && OnModifiedChanged)
        OnModifiedChanged(modified);
}
