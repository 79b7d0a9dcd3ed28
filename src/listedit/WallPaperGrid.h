#pragma once

#include <QTableView>

#include <functional>

class QMenu;
class WallPaperGridModel;

// The list editor's grid: whole rows selected as one contiguous block, at least one row selected at
// all times, the right button opening the grid menu without touching the selection, rows moved by
// dragging their number cell, no editing in place, rows 15 pixels high.
class WallPaperGrid : public QTableView {
public:
    explicit WallPaperGrid(WallPaperGridModel &model, QWidget *parent = nullptr);

    void SetContextMenu(QMenu *menu) { contextMenu_ = menu; }
    // Double click anywhere on the rows.
    std::function<void()> OnDoubleClick;
    // After the user dragged a row to a new place (the model has moved it).
    std::function<void()> OnRowMoved;

    // The selected block as first and last row (0-based).
    int TopRow() const;
    int BottomRow() const;
    // Selects rows top..bottom as the block, top being the current row.
    void SelectRows(int top, int bottom);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void HeaderSectionMoved(int logical, int oldVisual, int newVisual);
    void EnsureSelection();

    WallPaperGridModel &model_;
    QMenu *contextMenu_ = nullptr;
};
