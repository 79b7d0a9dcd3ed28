#include "listedit/WallPaperGrid.h"

#include "listedit/WallPaperGridModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr int kRowHeight = 15;
constexpr int kNumberColumnWidth = 30;
constexpr int kColumnWidths[WallPaperGridModel::ColumnCount] = {91, 173, 50, 49};

} // namespace

WallPaperGrid::WallPaperGrid(WallPaperGridModel &model, QWidget *parent) : QTableView(parent), model_(model)
{
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);

    QHeaderView *rows = verticalHeader();
    rows->setMinimumSectionSize(kRowHeight);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setFixedWidth(kNumberColumnWidth);
    rows->setSectionsMovable(true);
    connect(rows, &QHeaderView::sectionMoved, this,
            [this](int logical, int oldVisual, int newVisual) { HeaderSectionMoved(logical, oldVisual, newVisual); });

    QHeaderView *columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    rows->setHighlightSections(false);
    for (int c = 0; c < WallPaperGridModel::ColumnCount; ++c)
        setColumnWidth(c, kColumnWidths[c]);

    // Every change of the rows leaves a valid selection behind.
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { EnsureSelection(); });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, [this] { EnsureSelection(); });
    EnsureSelection();
}

int WallPaperGrid::TopRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::max(currentIndex().row(), 0);
    return std::min_element(rows.begin(), rows.end(), [](auto &a, auto &b) { return a.row() < b.row(); })->row();
}

int WallPaperGrid::BottomRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::max(currentIndex().row(), 0);
    return std::max_element(rows.begin(), rows.end(), [](auto &a, auto &b) { return a.row() < b.row(); })->row();
}

void WallPaperGrid::SelectRows(int top, int bottom)
{
    const int last = model_.rowCount() - 1;
    top = std::clamp(top, 0, last);
    bottom = std::clamp(bottom, top, last);
    const QItemSelection block(model_.index(top, 0), model_.index(bottom, WallPaperGridModel::ColumnCount - 1));
    selectionModel()->setCurrentIndex(model_.index(top, 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(block, QItemSelectionModel::ClearAndSelect);
}

void WallPaperGrid::EnsureSelection()
{
    if (!selectionModel()->hasSelection())
        SelectRows(std::min(currentIndex().row(), model_.rowCount() - 1), 0);
}

void WallPaperGrid::mousePressEvent(QMouseEvent *event)
{
    // The right button only opens the menu, which then acts on the block already selected; a
    // press below the last row must not leave the grid without a selection.
    if (event->button() == Qt::RightButton || !indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void WallPaperGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && OnDoubleClick)
        OnDoubleClick();
    event->accept();
}

void WallPaperGrid::contextMenuEvent(QContextMenuEvent *event)
{
    if (contextMenu_)
        contextMenu_->popup(event->globalPos());
    event->accept();
}

void WallPaperGrid::HeaderSectionMoved(int, int oldVisual, int newVisual)
{
    // The header only reports the drag; the rows themselves move in the model, and the header
    // goes back to showing row i at place i.
    {
        const QSignalBlocker blocker(verticalHeader());
        verticalHeader()->moveSection(newVisual, oldVisual);
    }
    if (model_.IsEmpty())
        return;
    model_.MoveRow(oldVisual, newVisual);
    SelectRows(newVisual, newVisual);
    if (OnRowMoved)
        OnRowMoved();
}
