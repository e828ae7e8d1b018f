#include "MyListBox.h"

#include "Colors.h"
#include "PngImageList.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr TColor kSelection = 16757429;
constexpr TColor kSelectedText = 16711680;

} // namespace

class TMyListBox::Delegate final : public QStyledItemDelegate {
public:
    explicit Delegate(TMyListBox& list)
        : QStyledItemDelegate(&list)
        , m_list(list)
    { }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), m_list.ItemHeight());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString text = index.data(Qt::DisplayRole).toString();
        QRect rect = option.rect;
        const QFontMetrics metrics(m_list.font());
        if (metrics.horizontalAdvance(text) >= m_list.width())
            rect.setRight(rect.left() + m_list.width() - 1);

        const bool highlighted = option.state & (QStyle::State_Selected | QStyle::State_HasFocus);
        QColor brush = m_list.palette().color(QPalette::Base);
        QColor textColour = m_list.palette().color(QPalette::Text);
        if (highlighted) {
            brush = toQColor(kSelection);
            textColour = toQColor(kSelectedText);
        }
        painter->save();
        painter->fillRect(rect, brush);
        if (highlighted) {
            painter->setPen(brush);
            painter->drawRect(rect.adjusted(0, 0, -1, -1));
        }

        // Without an image list the text starts where the picture would end.
        int textLeft = rect.left() + 8;
        if (TPngImageList* images = m_list.ImageList()) {
            images->Draw(*painter, rect.left() + 4, rect.top() + (m_list.ItemHeight() - images->Height()) / 2,
                m_list.ImageIndex());
            textLeft += images->Width();
        }
        painter->setFont(m_list.font());
        const int textTop = rect.top() + (m_list.ItemHeight() - metrics.height()) / 2;
        const QRect textRect(textLeft, textTop, metrics.horizontalAdvance(text), metrics.height());
        painter->fillRect(textRect, brush);
        painter->setPen(textColour);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        painter->restore();
    }

private:
    TMyListBox& m_list;
};

TMyListBox::TMyListBox(QWidget* parent)
    : QListWidget(parent)
{
    setItemDelegate(new Delegate(*this));
    setUniformItemSizes(true);
}

void TMyListBox::SetImageList(TPngImageList* list)
{
    m_imageList = list;
    viewport()->update();
}

void TMyListBox::SetImageIndex(int index)
{
    m_imageIndex = index;
    viewport()->update();
}

void TMyListBox::SetItemHeight(int height)
{
    m_itemHeight = height;
    doItemsLayout();
}
