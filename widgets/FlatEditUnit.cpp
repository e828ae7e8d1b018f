#include "FlatEditUnit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPolygon>
#include <QStandardItemModel>
#include <QWheelEvent>

#include <limits>

namespace {

constexpr int kArrowBoxWidth = 11;
constexpr TColor kDisabledArrow = 8421504;
// The text of an entry that cannot be chosen.
constexpr TColor kUnavailableText = 10526880;

void drawFrame(QPainter& painter, const QRect& rect, const QColor& colour)
{
    painter.setPen(colour);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

// An entry's name before " (unavailable: …)" was added to it.
constexpr int kNameRole = Qt::UserRole + 40;

// The list's own painter, with rows of a fixed height: the style's rows are
// taller than the drop-down list allots them, which cut the last one short.
class FixedRowDelegate final : public QAbstractItemDelegate {
public:
    FixedRowDelegate(QAbstractItemDelegate* painter, int rowHeight, QObject* parent)
        : QAbstractItemDelegate(parent)
        , m_painter(painter)
        , m_rowHeight(rowHeight)
    { }

    void setRowHeight(int rowHeight) { m_rowHeight = rowHeight; }
    QAbstractItemDelegate* painter() const { return m_painter; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (m_painter)
            m_painter->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize natural = m_painter ? m_painter->sizeHint(option, index) : QSize();
        return {natural.width(), m_rowHeight};
    }

private:
    QPointer<QAbstractItemDelegate> m_painter;
    int m_rowHeight;
};

} // namespace

// ---------------------------------------------------------------- flat edit

TMyCustomFlatEdit::TMyCustomFlatEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setTextMargins(3, 3, 3, 3);
    resize(121, 19);
    followParentColor();
    fitHeight();
    refreshLook();
}

void TMyCustomFlatEdit::SetColorFocused(TColor color)
{
    m_colorFocused = color;
    refreshLook();
}

void TMyCustomFlatEdit::SetColorBorder(TColor color)
{
    m_colorBorder = color;
    refreshLook();
}

void TMyCustomFlatEdit::SetColorFlat(TColor color)
{
    m_colorFlat = color;
    m_parentColor = false;
    refreshLook();
}

void TMyCustomFlatEdit::SetParentColor(bool follow)
{
    if (follow == m_parentColor)
        return;
    m_parentColor = follow;
    if (follow) {
        followParentColor();
        refreshLook();
    }
}

void TMyCustomFlatEdit::followParentColor()
{
    if (!m_parentColor || !parentWidget())
        return;
    m_colorFlat = fromQColor(parentWidget()->palette().color(parentWidget()->backgroundRole()));
}

bool TMyCustomFlatEdit::isActiveLook() const
{
    if (hasFocus())
        return true;
    return m_hover && !qobject_cast<TMyCustomFlatEdit*>(QApplication::focusWidget());
}

void TMyCustomFlatEdit::refreshLook()
{
    QPalette colours = palette();
    colours.setColor(QPalette::Base, toQColor(isActiveLook() ? m_colorFocused : m_colorFlat));
    setPalette(colours);
    update();
}

void TMyCustomFlatEdit::fitHeight()
{
    resize(width(), QFontMetrics(font()).height() + 6);
}

void TMyCustomFlatEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    const QColor state = toQColor(isActiveLook() ? m_colorFocused : m_colorFlat);
    drawFrame(painter, rect(), toQColor(m_colorBorder));
    drawFrame(painter, rect().adjusted(1, 1, -1, -1), state);
    drawFrame(painter, rect().adjusted(2, 2, -2, -2), state);
}

bool TMyCustomFlatEdit::readInteger(int& value) const
{
    if (text().isEmpty()) {
        value = 0;
        return true;
    }
    // Blanks around, an optional sign and decimal digits, within the int range.
    bool ok = false;
    value = text().trimmed().toInt(&ok, 10);
    if (!ok) {
        value = 0;
        emit const_cast<TMyCustomFlatEdit*>(this)->integerError(tr("'%1' is not a valid integer value").arg(text()));
    }
    return ok;
}

int TMyCustomFlatEdit::asInteger() const
{
    int value = 0;
    if (m_valueType == evDefault || !readInteger(value))
        return 0;
    return value;
}

void TMyCustomFlatEdit::stepUp()
{
    int value = 0;
    if (m_valueType != evtInteger || !readInteger(value))
        return;
    if ((m_maxValue == 0 || value < m_maxValue) && value < std::numeric_limits<int>::max())
        setText(QString::number(value + 1));
}

void TMyCustomFlatEdit::stepDown()
{
    int value = 0;
    if (m_valueType != evtInteger || !readInteger(value))
        return;
    if (m_minValue < value && value > std::numeric_limits<int>::min())
        setText(QString::number(value - 1));
}

bool TMyCustomFlatEdit::acceptsCharacter(QChar character) const
{
    return m_valueType == evtInteger && ((character >= '0' && character <= '9') || character == '\b');
}

void TMyCustomFlatEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_valueType == evDefault) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Delete: event->accept(); return;
    case Qt::Key_Up:
        stepUp();
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Down:
        stepDown();
        QLineEdit::keyPressEvent(event);
        return;
    default: break;
    }
    const QString typed = event->key() == Qt::Key_Backspace ? QString('\b') : event->text();
    const bool isCharacter = typed.size() == 1 && (typed[0].isPrint() || typed[0] == '\b')
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!isCharacter) {
        QLineEdit::keyPressEvent(event); // navigation, shortcuts
        return;
    }
    event->accept();
    const QChar character = typed[0];
    if (!acceptsCharacter(character))
        return;
    const bool backspace = character == '\b';
    if (text() == "0")
        setCursorPosition(0);
    if (backspace && (text().size() <= 1 || (text().size() > 1 && selectedText() == text()))) {
        setText("0");
        return;
    }
    if (character == '0' && !text().isEmpty() && cursorPosition() == 0)
        return;
    QLineEdit::keyPressEvent(event);
}

void TMyCustomFlatEdit::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (m_valueType == evDefault)
        return;
    if (event->angleDelta().y() > 0)
        stepUp();
    else
        stepDown();
}

void TMyCustomFlatEdit::enterEvent(QEnterEvent* event)
{
    if (QApplication::activeWindow())
        m_hover = true;
    refreshLook();
    QLineEdit::enterEvent(event);
}

void TMyCustomFlatEdit::leaveEvent(QEvent* event)
{
    m_hover = false;
    refreshLook();
    QLineEdit::leaveEvent(event);
}

void TMyCustomFlatEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    refreshLook();
}

void TMyCustomFlatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (m_valueType == evtFloat)
        setCursorPosition(0);
    refreshLook();
}

void TMyCustomFlatEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange: fitHeight(); break;
    case QEvent::ParentChange:
    case QEvent::PaletteChange:
        if (m_parentColor && parentWidget()) {
            const TColor before = m_colorFlat;
            followParentColor();
            if (before != m_colorFlat)
                refreshLook();
        }
        break;
    case QEvent::EnabledChange: refreshLook(); break;
    default: break;
    }
}

// ---------------------------------------------------------------- flat combo

TMyFlatComboBox::TMyFlatComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMaxVisibleItems(kDropDownCount);
}

void TMyFlatComboBox::SetColor(TColor color)
{
    m_color = color;
    update();
}

void TMyFlatComboBox::SetColorArrow(TColor color)
{
    m_colorArrow = color;
    update();
}

void TMyFlatComboBox::SetColorArrowBackground(TColor color)
{
    m_colorArrowBackground = color;
    update();
}

void TMyFlatComboBox::SetColorBorder(TColor color)
{
    m_colorBorder = color;
    update();
}

int TMyFlatComboBox::dropDownRowHeight() const
{
    return roundHalfEven(QFontMetrics(font()).height() * 9.0 / 8.0) - 2;
}

int TMyFlatComboBox::dropDownHeight() const
{
    const int n = std::min(maxVisibleItems(), count());
    const int height = n * dropDownRowHeight() + 4;
    return height <= 4 ? 10 : height;
}

void TMyFlatComboBox::fitDropDownRows()
{
    QAbstractItemView* list = view();
    if (auto* fixed = dynamic_cast<FixedRowDelegate*>(list->itemDelegate())) {
        fixed->setRowHeight(dropDownRowHeight());
        return;
    }
    list->setItemDelegate(new FixedRowDelegate(list->itemDelegate(), dropDownRowHeight(), list));
}

void TMyFlatComboBox::setItemUnavailable(int index, const QString& reason)
{
    auto* entries = qobject_cast<QStandardItemModel*>(model());
    QStandardItem* entry = entries ? entries->item(index, modelColumn()) : nullptr;
    if (!entry)
        return;
    if (!entry->data(kNameRole).isValid())
        entry->setData(entry->text(), kNameRole);
    entry->setText(tr("%1 (unavailable: %2)").arg(entry->data(kNameRole).toString(), reason));
    entry->setToolTip(reason);
    entry->setFlags(entry->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    update();
}

bool TMyFlatComboBox::isItemAvailable(int index) const
{
    const QModelIndex entry = model()->index(index, modelColumn(), rootModelIndex());
    return entry.isValid() && (entry.flags() & Qt::ItemIsEnabled);
}

void TMyFlatComboBox::showPopup()
{
    // Qt drops nothing down for an empty list; neither may the arrow's look.
    if (count() == 0)
        return;
    QPalette colours = view()->palette();
    colours.setColor(QPalette::Base, toQColor(m_color));
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, toQColor(kUnavailableText));
    view()->setPalette(colours);
    m_dropped = true;
    fitDropDownRows();
    QComboBox::showPopup();
    if (QWidget* popup = view()->window(); popup != window())
        popup->setFixedHeight(dropDownHeight());
    update();
}

void TMyFlatComboBox::hidePopup()
{
    QComboBox::hidePopup();
    m_dropped = false;
    update();
}

void TMyFlatComboBox::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange)
        update();
}

QImage TMyFlatComboBox::renderCombo() const
{
    const int w = width();
    const int h = height();
    QImage image(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    const QColor background = toQColor(m_color);
    image.fill(background);
    QPainter painter(&image);

    // The text of the current item, left of the arrow box; greyed when the
    // entry cannot be chosen, and the placeholder, greyed, without a current item.
    painter.setFont(font());
    const bool none = currentIndex() < 0;
    const QColor text = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    painter.setPen(none || !isItemAvailable(currentIndex()) ? toQColor(kUnavailableText) : text);
    const QString shown = none ? placeholderText() : currentText();
    painter.drawText(QRect(4, 0, w - 26, h), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        painter.fontMetrics().elidedText(shown, Qt::ElideRight, w - 26));

    drawFrame(painter, QRect(0, 0, w - 12, h), toQColor(m_colorBorder));
    drawFrame(painter, QRect(1, 1, w - 14, h - 2), background);
    drawFrame(painter, QRect(2, 2, w - 16, h - 4), background);

    // The arrow box with its triangle, pointing up while the list is open.
    const QRect box(w - kArrowBoxWidth - 2, 0, kArrowBoxWidth + 2, h);
    painter.fillRect(box, toQColor(m_colorArrowBackground));
    drawFrame(painter, box, toQColor(m_colorBorder));
    const int x0 = box.left() + box.width() / 2 - 6;
    const int y0 = box.top() + box.height() / 2 - 1;
    const QPolygon triangle = m_dropped ? QPolygon({{x0 + 4, y0 + 2}, {x0 + 8, y0 + 2}, {x0 + 6, y0}})
                                        : QPolygon({{x0 + 4, y0}, {x0 + 8, y0}, {x0 + 6, y0 + 2}});
    const auto drawTriangle = [&](const QColor& colour, int shift) {
        painter.setPen(colour);
        painter.setBrush(colour);
        painter.drawPolygon(triangle.translated(shift, shift));
    };
    if (isEnabled()) {
        drawTriangle(toQColor(m_colorArrow), 0);
    } else {
        drawTriangle(Qt::white, 1);
        drawTriangle(toQColor(kDisabledArrow), 0);
    }

    // The selection strip of a list-style combo.
    const bool focusedAndClosed = hasFocus() && !m_dropped;
    const QColor highlight = palette().color(QPalette::Highlight);
    painter.fillRect(QRect(QPoint(w - 21, 3), QPoint(w - 17, h - 4)), focusedAndClosed ? highlight : background);
    if (focusedAndClosed)
        drawFrame(painter, QRect(QPoint(3, 3), QPoint(w - 17, h - 4)), highlight);
    return image;
}

void TMyFlatComboBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderCombo());
}
