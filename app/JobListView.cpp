#include "JobListView.h"

#include "ClockText.h"
#include "FitText.h"
#include "JobListModel.h"
#include "PngImageList.h"
#include "SizeText.h"
#include "treeManager.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QColor kActivity(0x7F, 0x9D, 0xB9);
const QColor kHeld(0xB8, 0xB8, 0xB8);
const QColor kChecking(0x6F, 0xA8, 0x7C);
const QColor kBackground(0xE9, 0xEA, 0xEE);
const QColor kText(0x93, 0x79, 0x79);
constexpr int kPictureLeft = 4;
constexpr int kTextLeft = 26;

} // namespace

namespace {

// Draws the second column's frame; the rectangle it frames, empty when the cell is too small.
QRect drawActivityFrame(QPainter& painter, const QRect& cell)
{
    const QRect frame = cell.adjusted(5, 5, -5, -5);
    if (frame.width() <= 0 || frame.height() <= 0)
        return {};
    painter.save();
    painter.setPen(kActivity);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.restore();
    return frame;
}

} // namespace

void paintProgress(QPainter& painter, const QRect& cell, const ItemProgress& progress, bool held)
{
    const QRect frame = drawActivityFrame(painter, cell);
    const int filled = static_cast<int>(std::lround(std::clamp(progress.fraction, 0.0, 1.0) * frame.width()));
    // Held, it is grey; checked after converting, green.
    const QColor fill = held ? kHeld : progress.checking ? kChecking : kActivity;
    if (!frame.isEmpty())
        painter.fillRect(QRect(frame.left(), frame.top(), filled, frame.height()), fill);
}

void paintActivity(QPainter& painter, const QRect& cell, bool busy, unsigned activityPos, bool held)
{
    const QRect frame = drawActivityFrame(painter, cell);
    if (busy && !frame.isEmpty()) {
        const int left = frame.left() + static_cast<int>(activityPos);
        painter.fillRect(QRect(left, frame.top(), kActivityBlockWidth, frame.height()), held ? kHeld : kActivity);
    }
}

class JobListView::Delegate final : public QStyledItemDelegate {
public:
    explicit Delegate(JobListView& view)
        : QStyledItemDelegate(&view)
        , m_view(view)
    { }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const JobListModel::Node* node = m_view.m_jobs ? m_view.m_jobs->nodeAt(index.row()) : nullptr;
        if (!node)
            return;
        if (option.state & QStyle::State_Selected) {
            // A blended selection: the highlight over the list's colour and watermark.
            QColor highlight = m_view.palette().color(QPalette::Highlight);
            highlight.setAlpha(70);
            painter->fillRect(option.rect, highlight);
        }
        if (index.column() == 1) {
            // A bar that fills while ffmpeg has told how far it is; the moving block otherwise.
            const bool working = isWorking(node->State);
            const bool held = node->State == ItemState::paused;
            if (working && node->Progress.fraction >= 0)
                paintProgress(*painter, option.rect, node->Progress, held);
            else
                paintActivity(*painter, option.rect, working, node->Item.ActivityPos, held);
            return;
        }
        const int top = option.rect.top();
        if (m_view.m_images) {
            m_view.m_images->Draw(*painter, option.rect.left() + kPictureLeft,
                top + (kRowHeight - m_view.m_images->Height()) / 2, statePicture(node->State));
        }
        painter->save();
        painter->setFont(m_view.font());
        painter->setPen(kText);
        const QRect textRect = option.rect.adjusted(kTextLeft, 0, -2, 0);
        const QString text = painter->fontMetrics().elidedText(node->Item.FileName, Qt::ElideMiddle, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        // The keyboard's row, while the list has the focus.
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(m_view.palette().color(QPalette::Highlight), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

private:
    JobListView& m_view;
};

JobListView::JobListView(QWidget* parent)
    : QTreeView(parent)
    , m_watermark(QStringLiteral(":/art/watermark.png"))
{
    setItemDelegate(new Delegate(*this));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHeaderHidden(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setViewportMargins(5, 5, 5, 5);
    setAllColumnsShowFocus(true);
    QFont rows("Trebuchet MS");
    rows.setPixelSize(16);
    setFont(rows);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, kBackground);
    colours.setColor(QPalette::Window, kBackground);
    colours.setColor(QPalette::Text, kText);
    setPalette(colours);
    setAutoFillBackground(true);
    // Held beyond the top or bottom edge, a drag of rows scrolls on by itself.
    m_dragScroll = new QTimer(this);
    m_dragScroll->setInterval(100);
    connect(m_dragScroll, &QTimer::timeout, this, [this] { followRowDrag(m_dragPosition); });
}

void JobListView::bind(JobListModel* model, TPngImageList* images, const std::vector<std::string>* formats)
{
    m_jobs = model;
    m_images = images;
    m_formats = formats;
    setModel(model);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
    setColumnWidth(0, 700);
    setColumnWidth(1, 100);
}

QMenu* JobListView::menuAt(const QPoint& viewportPosition) const
{
    if (!m_menu || columnAt(viewportPosition.x()) != 0 || (canOfferMenu && !canOfferMenu()))
        return nullptr;
    return m_menu;
}

QString JobListView::hintAt(const QPoint& globalPosition) const
{
    const QPoint local = viewport()->mapFromGlobal(globalPosition);
    if (!viewport()->rect().contains(local) || columnAt(local.x()) != 0 || !m_jobs)
        return {};
    const JobListModel::Node* node = m_jobs->nodeAt(indexAt(local).row());
    return node ? hintFor(*node) : QString();
}

QString JobListView::hintFor(const TItemNodeData& item) const
{
    const JobListModel::Node* node = &item;
    static const std::vector<std::string> kNoFormats;
    QString hint = TTreeManager::HintText(node->Item, m_formats ? *m_formats : kNoFormats);
    // A failed item says why, so that the user need not guess.
    if (node->State == ItemState::failed && !node->Failure.isEmpty())
        hint += "\n" + tr("[error]: %1").arg(node->Failure);
    // Stopped by the user: nothing went wrong with it.
    if (node->State == ItemState::stopped)
        hint += "\n" + tr("[stopped]: not converted; Convert or \"Convert the rest\" converts it");
    // Not converted, rightly: its output is there already, or its input is in its form.
    if (node->State == ItemState::skipped && !node->Failure.isEmpty())
        hint += "\n" + tr("[skipped]: %1").arg(node->Failure);
    // Converted, and yet worth knowing: unchecked, or damaged input.
    if (node->State == ItemState::done && !node->Remark.isEmpty())
        hint += "\n" + tr("[note]: %1").arg(node->Remark);
    if (isWorking(node->State))
        hint += "\n" + tr("[progress]: %1").arg(progressText(node->Progress, node->State));
    // A size limit, and once converted how close the output came to it.
    if (node->Item.SizeLimit > 0) {
        const std::string measured
            = node->State == ItemState::done ? sizeOfLimitText(node->OutputSize, node->Item.SizeLimit) : std::string();
        hint += "\n"
            + (measured.empty() ? tr("[size]: at most %1").arg(QString::fromStdString(sizeText(node->Item.SizeLimit)))
                                : tr("[size]: %1").arg(QString::fromStdString(measured)));
    }
    return hint;
}

QString progressText(const ItemProgress& progress, ItemState state)
{
    QStringList parts;
    switch (state) {
    case ItemState::starting: parts << JobListView::tr("starting"); break;
    case ItemState::paused: parts << JobListView::tr("paused"); break;
    case ItemState::publishing: parts << JobListView::tr("saving"); break;
    default: break;
    }
    if (progress.checking)
        parts << JobListView::tr("checking");
    if (const std::string pass = passText(progress); !pass.empty())
        parts << QString::fromStdString(pass);
    if (progress.fraction >= 0)
        parts << QString::number(static_cast<int>(progress.fraction * 100)) + " %";
    else
        parts
            << JobListView::tr("%1 converted").arg(QString::fromStdString(clockText(std::llround(progress.position))));
    if (progress.speed > 0)
        parts << QString::number(progress.speed, 'g', 3) + "x";
    if (progress.secondsLeft >= 0)
        parts << JobListView::tr("about %1 left")
                     .arg(QString::fromStdString(clockText(std::llround(progress.secondsLeft))));
    return parts.join(", ");
}

QPoint JobListView::watermarkOffset() const
{
    return {viewport()->width() - m_watermark.width(), viewport()->height() - m_watermark.height()};
}

void JobListView::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), kBackground);
        painter.drawPixmap(watermarkOffset(), m_watermark);
    }
    QTreeView::paintEvent(event);
    if (m_dropRow >= 0 && m_jobs) {
        // Where the dragged rows would go: a line between two rows.
        const bool atEnd = m_dropRow >= m_jobs->count();
        const QRect row = visualRect(m_jobs->index(atEnd ? m_jobs->count() - 1 : m_dropRow, 0));
        const int y = atEnd ? row.bottom() : row.top();
        QPainter painter(viewport());
        painter.fillRect(QRect(0, y - 1, viewport()->width(), 2), kText);
    }
}

void JobListView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    // Scrolling moves the pixels already shown, and the watermark with them,
    // and paints only the strip that comes into view: the disc would be cut
    // at that strip. It stays where it is, so the whole list is painted again.
    viewport()->update();
}

std::vector<JobListModel::Node*> JobListView::selectedNodes() const
{
    std::vector<JobListModel::Node*> nodes;
    if (!m_jobs || !selectionModel())
        return nodes;
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& row : rows)
        nodes.push_back(m_jobs->nodeAt(row.row()));
    return nodes;
}

bool JobListView::selectionMovable() const
{
    const std::vector<JobListModel::Node*> nodes = selectedNodes();
    return !nodes.empty() && std::none_of(nodes.begin(), nodes.end(), [](const JobListModel::Node* node) {
        return isWorking(node->State);
    });
}

bool JobListView::moveSelection(int step)
{
    if ((step != -1 && step != 1) || !selectionMovable())
        return false;
    std::vector<JobListModel::Node*> nodes = selectedNodes();
    bool moved = false;
    if (step < 0) {
        // The first free row: a selected row that could not move holds its place.
        int free = 0;
        for (JobListModel::Node* node : nodes) {
            const int row = m_jobs->indexOf(node);
            if (row > free) {
                m_jobs->move({node}, m_jobs->nodeAt(row - 1));
                moved = true;
            }
            free = m_jobs->indexOf(node) + 1;
        }
    } else {
        int free = m_jobs->count() - 1;
        for (auto node = nodes.rbegin(); node != nodes.rend(); ++node) {
            const int row = m_jobs->indexOf(*node);
            if (row < free) {
                m_jobs->move({*node}, m_jobs->nodeAt(row + 2));
                moved = true;
            }
            free = m_jobs->indexOf(*node) - 1;
        }
    }
    if (moved)
        scrollTo(currentIndex());
    return moved;
}

bool JobListView::moveSelectionBefore(int row)
{
    if (!selectionMovable() || row < 0 || row > m_jobs->count())
        return false;
    const std::vector<JobListModel::Node*> nodes = selectedNodes();
    std::vector<int> before;
    for (const JobListModel::Node* node : nodes)
        before.push_back(m_jobs->indexOf(node));
    m_jobs->move(nodes, m_jobs->nodeAt(row));
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (m_jobs->indexOf(nodes[i]) != before[i])
            return true;
    }
    return false;
}

int JobListView::dropRowAt(const QPoint& viewportPosition) const
{
    const QModelIndex index = indexAt(viewportPosition);
    if (!m_jobs || !index.isValid())
        return m_jobs ? m_jobs->count() : 0;
    const QRect row = visualRect(index);
    return index.row() + (viewportPosition.y() > row.center().y() ? 1 : 0);
}

void JobListView::setDropRow(int row)
{
    if (row == m_dropRow)
        return;
    m_dropRow = row;
    viewport()->update();
}

void JobListView::startDrag(Qt::DropActions)
{
    // The rows are moved here, inside the list, rather than handed to the
    // desktop: they mean nothing to another program, and the pointer is
    // followed the same way on every platform.
    if (!selectionMovable())
        return;
    m_draggingRows = true;
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void JobListView::followRowDrag(const QPoint& viewportPosition)
{
    m_dragPosition = viewportPosition;
    const int height = viewport()->height();
    if (viewportPosition.y() < 0 || viewportPosition.y() >= height) {
        verticalScrollBar()->triggerAction(
            viewportPosition.y() < 0 ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
        if (!m_dragScroll->isActive())
            m_dragScroll->start();
    } else {
        m_dragScroll->stop();
    }
    setDropRow(viewport()->rect().contains(viewportPosition) ? dropRowAt(viewportPosition) : -1);
}

void JobListView::endRowDrag(bool drop)
{
    const int row = m_dropRow;
    m_draggingRows = false;
    m_dragScroll->stop();
    viewport()->unsetCursor();
    setDropRow(-1);
    if (drop && row >= 0)
        moveSelectionBefore(row);
}

void JobListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // A click below the rows points at no item, not at the one chosen before;
        // a click on a selected row keeps the selection for the menu to act on.
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && selectionModel()->isRowSelected(index.row())) {
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        } else if (index.isValid()) {
            setCurrentIndex(index);
        } else {
            selectionModel()->clear();
        }
        event->accept();
        return;
    }
    // A drag whose release went elsewhere puts nothing down.
    if (m_draggingRows)
        endRowDrag(false);
    m_dragCancelled = false;
    QTreeView::mousePressEvent(event);
}

void JobListView::mouseMoveEvent(QMouseEvent* event)
{
    // The first moves with the button held start a drag of rows (startDrag);
    // from then on the rows follow the pointer.
    if (!m_draggingRows && !m_dragCancelled)
        QTreeView::mouseMoveEvent(event);
    if (m_draggingRows)
        followRowDrag(event->position().toPoint());
    if (m_draggingRows || m_dragCancelled)
        event->accept();
}

void JobListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_draggingRows || m_dragCancelled) {
        // Let go in the list, the rows go where the line is; anywhere else, nowhere.
        if (m_draggingRows) {
            const QPoint at = event->position().toPoint();
            setDropRow(viewport()->rect().contains(at) ? dropRowAt(at) : -1);
            endRowDrag(true);
        }
        m_dragCancelled = false;
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void JobListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid() && onShowItemProperties)
        onShowItemProperties();
}

void JobListView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        showMenuForCurrentRow();
        return;
    }
    if (QMenu* menu = menuAt(viewport()->mapFromGlobal(event->globalPos())))
        menu->exec(event->globalPos());
}

void JobListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void JobListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void JobListView::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    if (!paths.isEmpty() && onDropped)
        onDropped(paths);
}

bool JobListView::event(QEvent* event)
{
    // Esc during a drag of rows is the drag's, not the window's shortcut (Stop).
    if (event->type() == QEvent::ShortcutOverride && m_draggingRows
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QTreeView::event(event);
}

void JobListView::keyPressEvent(QKeyEvent* event)
{
    if (m_draggingRows && event->key() == Qt::Key_Escape) {
        // Put down nowhere; the rest of this press of the button is spent.
        endRowDrag(false);
        m_dragCancelled = true;
        return;
    }
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        if (onShowItemProperties)
            onShowItemProperties();
        return;
    }
    if (plain && event->key() == Qt::Key_Delete) {
        if (onDeleteKey)
            onDeleteKey();
        return;
    }
    const bool control = (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
    if (control && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        moveSelection(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        showMenuForCurrentRow();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void JobListView::showMenuForCurrentRow()
{
    // Below the focused row, or at the top of the list when no row is focused.
    const QRect row = visualRect(currentIndex());
    const QPoint at = row.isValid() ? QPoint(row.left() + 20, row.bottom()) : QPoint(20, 5);
    if (QMenu* menu = menuAt(at))
        menu->popup(viewport()->mapToGlobal(at));
}
