#pragma once

#include "ItemData.h"
#include "MyFlatHintUnit.h"

#include <QPixmap>
#include <QTreeView>

#include <functional>
#include <string>
#include <vector>

class JobListModel;
struct ItemProgress;
struct TItemNodeData;
class QMenu;
class QTimer;
class TPngImageList;

// The job list control: one row per job with its state picture and full path
// in column 0 and the activity of a running item in column 1, 25-pixel rows,
// a watermark fixed in the bottom-right corner, a three-line hint per row,
// the popup menu on column 0 and the properties on a double-click. Rows are
// selected as in any list (Shift, Ctrl, Ctrl+A) and move with Ctrl+Up,
// Ctrl+Down or a drag with the mouse inside the list: the rows follow the
// pointer while the button is held, a line shows where they will go, and Esc
// or letting go outside the list puts nothing down. Files dropped from outside
// come in through onDropped.
class JobListView final : public QTreeView, public FlatHintSource {
    Q_OBJECT

public:
    explicit JobListView(QWidget* parent = nullptr);

    void bind(JobListModel* model, TPngImageList* images, const std::vector<std::string>* formats);
    JobListModel* jobs() const { return m_jobs; }
    TPngImageList* images() const { return m_images; }

    void setPopupMenu(QMenu* menu) { m_menu = menu; }
    // Whether the popup menu may be offered now (no conversion running).
    std::function<bool()> canOfferMenu;
    // Runs the properties of the focused node (double-click, Return).
    std::function<void()> onShowItemProperties;
    // The Delete key on the list.
    std::function<void()> onDeleteKey;
    // Local files or folders dropped on the list.
    std::function<void(const QStringList& paths)> onDropped;

    // The popup menu at the current row, as the Menu key or Shift+F10 asks for it.
    void showMenuForCurrentRow();

    // The selected nodes, in list order.
    std::vector<TItemNodeData*> selectedNodes() const;
    // Moves the selected rows a row up (step -1) or down (1), each as far as
    // the end or the selected row before it lets it, keeping their order.
    // Nothing moves while one of them converts; false when nothing moved.
    bool moveSelection(int step);
    // Moves the selected rows together before row (rowCount() for the end),
    // as a drag inside the list does; nothing while one of them converts.
    bool moveSelectionBefore(int row);
    // Where a drop at a viewport position puts the rows: before this row.
    int dropRowAt(const QPoint& viewportPosition) const;
    // The row before which a drag of the selection would drop now; -1 without one.
    int dropIndicatorRow() const { return m_dropRow; }
    // Whether rows are being dragged with the mouse now.
    bool isDraggingRows() const { return m_draggingRows; }
    // The popup menu for a click at a viewport position, or none.
    QMenu* menuAt(const QPoint& viewportPosition) const;
    QString hintAt(const QPoint& globalPosition) const override;
    // The hint of a row: the item, and why it failed, what is worth knowing of it, or how far it is.
    QString hintFor(const TItemNodeData& node) const;
    // Where the watermark sits in the viewport.
    QPoint watermarkOffset() const;

    static constexpr int kRowHeight = 25;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    class Delegate;
    // A converting item keeps its place: the driver is writing it.
    bool selectionMovable() const;
    void setDropRow(int row);
    // The rows being dragged follow the pointer at a viewport position;
    // beyond the top or bottom edge the list scrolls on, row by row.
    void followRowDrag(const QPoint& viewportPosition);
    // Ends a drag of rows, putting them down at the line when drop is true.
    void endRowDrag(bool drop);

    int m_dropRow = -1;
    bool m_draggingRows = false;
    // Esc ended the drag while the button is still held.
    bool m_dragCancelled = false;
    QPoint m_dragPosition;
    QTimer* m_dragScroll = nullptr;
    JobListModel* m_jobs = nullptr;
    TPngImageList* m_images = nullptr;
    const std::vector<std::string>* m_formats = nullptr;
    QMenu* m_menu = nullptr;
    QPixmap m_watermark;
};

// Paints column 1 of a row: the activity frame, and the sliding block while
// busy, grey while the run is held.
void paintActivity(QPainter& painter, const QRect& cell, bool busy, unsigned activityPos, bool held = false);
// Paints column 1 of a running row whose progress is known: the frame filled
// to its fraction, grey while held, green while its output is checked.
void paintProgress(QPainter& painter, const QRect& cell, const ItemProgress& progress, bool held = false);
// "42 %, 1.5x, about 00:01:10 left"; the time converted instead of the share for an input of unknown length.
QString progressText(const ItemProgress& progress, ItemState state = ItemState::converting);
