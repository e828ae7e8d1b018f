#include "JobListView.h"

#include "ClockText.h"
#include "JobListModel.h"
#include "PngImageList.h"
#include "treeManager.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>

namespace {

const QColor kActivity(0x7F, 0x9D, 0xB9);
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

void paintProgress(QPainter& painter, const QRect& cell, double fraction)
{
    const QRect frame = drawActivityFrame(painter, cell);
    const int filled = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * frame.width()));
    if (!frame.isEmpty())
        painter.fillRect(QRect(frame.left(), frame.top(), filled, frame.height()), kActivity);
}

void paintActivity(QPainter& painter, const QRect& cell, bool busy, unsigned activityPos)
{
    const QRect frame = drawActivityFrame(painter, cell);
    if (busy && !frame.isEmpty()) {
        const int left = frame.left() + static_cast<int>(activityPos);
        painter.fillRect(QRect(left, frame.top(), kActivityBlockWidth, frame.height()), kActivity);
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
            if (node->Item.Busy && node->Progress.fraction >= 0)
                paintProgress(*painter, option.rect, node->Progress.fraction);
            else
                paintActivity(*painter, option.rect, node->Item.Busy, node->Item.ActivityPos);
            return;
        }
        const int top = option.rect.top();
        if (m_view.m_images) {
            m_view.m_images->Draw(*painter, option.rect.left() + kPictureLeft,
                top + (kRowHeight - m_view.m_images->Height()) / 2, node->State);
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
    setSelectionMode(QAbstractItemView::SingleSelection);
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
    if (!node)
        return {};
    static const std::vector<std::string> kNoFormats;
    QString hint = TTreeManager::HintText(node->Item, m_formats ? *m_formats : kNoFormats);
    // A failed item says why, so that the user need not guess.
    if (node->State == kStateFailed && !node->Failure.isEmpty())
        hint += "\n[error]: " + node->Failure;
    if (node->State == kStateConverting && node->Item.Busy)
        hint += "\n[progress]: " + progressText(node->Progress);
    return hint;
}

QString progressText(const ItemProgress& progress)
{
    QStringList parts;
    if (progress.fraction >= 0)
        parts << QString::number(static_cast<int>(progress.fraction * 100)) + " %";
    else
        parts << QString::fromStdString(clockText(std::llround(progress.position))) + " converted";
    if (progress.speed > 0)
        parts << QString::number(progress.speed, 'g', 3) + "x";
    if (progress.secondsLeft >= 0)
        parts << "about " + QString::fromStdString(clockText(std::llround(progress.secondsLeft))) + " left";
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
}

void JobListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // A click below the rows points at no item, not at the one chosen before.
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            setCurrentIndex(index);
        } else {
            selectionModel()->clear();
        }
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
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

void JobListView::keyPressEvent(QKeyEvent* event)
{
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
