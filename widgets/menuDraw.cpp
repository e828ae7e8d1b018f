#include "menuDraw.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

constexpr TColor kBackground = 16448250;
constexpr TColor kPictureColumn = 15658729;
constexpr TColor kLine = 12961221;
constexpr TColor kSeparatorBackground = 15656925;
constexpr TColor kSeparatorLight = 16448250;
constexpr TColor kText = 7214336;
constexpr TColor kDisabledText = 14599640;
constexpr TColor kGradientATop = 15722724;
constexpr TColor kGradientABottom = 14599608;
constexpr TColor kGradientBTop = 14203563;
constexpr TColor kGradientBBottom = 15722724;
constexpr int kBands = 256;
constexpr int kPictureColumnRight = 26;

QFont menuFont(bool bold)
{
    QFont font("Trebuchet MS");
    font.setPointSize(9);
    font.setBold(bold);
    return font;
}

QString shortcutText(const QAction& action)
{
    return action.shortcut().toString(QKeySequence::NativeText);
}

QSize textSize(const QFont& font, const QString& text)
{
    if (text.isEmpty())
        return {0, 0};
    const QFontMetrics metrics(font);
    return metrics.size(Qt::TextSingleLine, text);
}

} // namespace

void fillBandGradient(QPainter& painter, const QRect& rect, int n, TColor start, TColor end)
{
    if (n < 1)
        return;
    const QColor first = toQColor(start);
    const QColor last = toQColor(end);
    const double kRed = (last.red() - first.red()) / static_cast<double>(n);
    const double kGreen = (last.green() - first.green()) / static_cast<double>(n);
    const double kBlue = (last.blue() - first.blue()) / static_cast<double>(n);
    const double bandHeight = rect.height() / static_cast<double>(n);
    for (int i = 0; i < n; ++i) {
        const int from = roundHalfEven(i * bandHeight);
        const int to = roundHalfEven((i + 1) * bandHeight);
        if (to <= from)
            continue;
        const QColor colour(roundHalfEven(first.red() + (i + 1) * kRed) & 0xFF,
            roundHalfEven(first.green() + (i + 1) * kGreen) & 0xFF,
            roundHalfEven(first.blue() + (i + 1) * kBlue) & 0xFF);
        painter.fillRect(QRect(rect.left(), rect.top() + from, rect.width(), to - from), colour);
    }
}

QSize TMenuDraw::measureEntry(const QAction& action, bool hasImages)
{
    const QString caption = action.isSeparator() ? QStringLiteral("-") : action.text();
    const QSize captionSize = textSize(menuFont(true), caption);
    int captionWidth = captionSize.width();
    if (!action.shortcut().isEmpty())
        captionWidth += textSize(menuFont(true), shortcutText(action)).width() + 8;
    // An empty hint measures 0 × 0.
    const QSize hintSize = textSize(menuFont(false), action.statusTip());
    const int width = std::max(captionWidth, hintSize.width()) + 8 + (hasImages ? kPictureColumnRight : 0);
    return {width, captionSize.height() + hintSize.height() + 8};
}

void TMenuDraw::drawEntry(QPainter& painter, const QAction& action, const QRect& rect, bool highlighted, bool hasImages)
{
    painter.save();
    const int captionHeight
        = textSize(menuFont(true), action.isSeparator() ? QStringLiteral("-") : action.text()).height();
    if (action.isSeparator()) {
        painter.fillRect(rect, toQColor(kSeparatorBackground));
        const int bottom = rect.top() + rect.height();
        painter.setPen(toQColor(kLine));
        painter.drawLine(rect.left(), bottom - 2, rect.right(), bottom - 2);
        painter.setPen(toQColor(kSeparatorLight));
        painter.drawLine(rect.left(), bottom - 1, rect.right(), bottom - 1);
        if (!action.statusTip().isEmpty()) {
            painter.setFont(menuFont(true));
            painter.setPen(toQColor(kText));
            const int left = rect.left() + (hasImages ? 10 : 4);
            painter.drawText(QRect(QPoint(left, rect.top()), QPoint(rect.right() - 4, rect.bottom())),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, action.statusTip());
        } else if (hasImages) {
            painter.fillRect(QRect(QPoint(rect.left(), rect.top()), QPoint(kPictureColumnRight - 1, rect.bottom())),
                toQColor(kPictureColumn));
            painter.setPen(toQColor(kLine));
            painter.drawLine(kPictureColumnRight, rect.top(), kPictureColumnRight, rect.bottom());
        }
        painter.restore();
        return;
    }

    painter.fillRect(rect, toQColor(kBackground));
    if (hasImages) {
        painter.fillRect(QRect(QPoint(rect.left(), rect.top()), QPoint(kPictureColumnRight - 1, rect.bottom())),
            toQColor(kPictureColumn));
        painter.setPen(toQColor(kLine));
        painter.drawLine(kPictureColumnRight, rect.top(), kPictureColumnRight, rect.bottom());
    }
    if (highlighted) {
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(rect), 1.5, 1.5);
        painter.setClipPath(rounded);
        if (!action.statusTip().isEmpty()) {
            const int split = captionHeight + 4;
            fillBandGradient(
                painter, QRect(rect.left(), rect.top(), rect.width(), split), kBands, kGradientATop, kGradientABottom);
            fillBandGradient(painter, QRect(rect.left(), rect.top() + split, rect.width(), rect.height() - split),
                kBands, kGradientBTop, kGradientBBottom);
        } else {
            fillBandGradient(painter, rect, kBands, kGradientATop, kGradientABottom);
        }
        painter.setClipping(false);
        painter.setPen(toQColor(kLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), 1.5, 1.5);
    }

    const QColor textColour = toQColor(action.isEnabled() ? kText : kDisabledText);
    const QRect textRect(
        QPoint(rect.left() + (hasImages ? 30 : 4), rect.top() + 2), QPoint(rect.right() - 4, rect.bottom()));
    painter.setPen(textColour);
    painter.setFont(menuFont(true));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, action.text());
    if (!action.shortcut().isEmpty())
        painter.drawText(textRect, Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip, shortcutText(action));
    painter.setFont(menuFont(false));
    painter.drawText(QRect(QPoint(textRect.left(), rect.top() + captionHeight + 4), textRect.bottomRight()),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, action.statusTip());
    if (hasImages && !action.icon().isNull())
        action.icon().paint(&painter, QRect(rect.left() + 4, rect.top() + 2, 16, 16));
    painter.restore();
}

// Routes the attached menu's entries through the painter; everything else,
// submenus included, keeps the application's style.
class TMenuDraw::Style final : public QProxyStyle {
public:
    explicit Style(QMenu* menu)
        : m_menu(menu)
    {
        m_separator.setSeparator(true);
    }

    QSize sizeFromContents(
        ContentsType type, const QStyleOption* option, const QSize& size, const QWidget* widget) const override
    {
        if (type == CT_MenuItem && widget == m_menu) {
            // The option does not say which entry it measures: entries that
            // share its caption all get the size of the largest of them.
            const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            if (item && item->menuItemType == QStyleOptionMenuItem::Separator)
                return measureEntry(m_separator, hasImages());
            QSize largest;
            const QString caption = item ? item->text.section('\t', 0, 0) : QString();
            for (const QAction* action : m_menu->actions()) {
                if (!action->menu() && !action->isSeparator() && action->text() == caption)
                    largest = largest.expandedTo(measureEntry(*action, hasImages()));
            }
            if (largest.isValid())
                return largest;
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    void drawControl(
        ControlElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const override
    {
        if (element == CE_MenuItem && widget == m_menu) {
            if (const QAction* action = actionFor(option)) {
                drawEntry(*painter, *action, option->rect, option->state & State_Selected, hasImages());
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

private:
    bool hasImages() const
    {
        for (const QAction* action : m_menu->actions()) {
            if (!action->icon().isNull())
                return true;
        }
        return false;
    }

    // The entry the option paints: the action whose place it paints, so two
    // entries with one caption keep their own hints. Separators are drawn as
    // the plain etched line.
    const QAction* actionFor(const QStyleOption* option) const
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!item || !m_menu)
            return nullptr;
        if (item->menuItemType == QStyleOptionMenuItem::Separator)
            return &m_separator;
        const QAction* action = m_menu->actionAt(option->rect.center());
        return action && !action->menu() && !action->isSeparator() ? action : nullptr;
    }

    QAction m_separator {nullptr};
    QMenu* m_menu;
};

TMenuDraw::TMenuDraw() = default;

TMenuDraw::~TMenuDraw()
{
    if (m_menu)
        m_menu->setStyle(nullptr);
}

void TMenuDraw::AttachMenu(QMenu* menu)
{
    if (m_menu)
        m_menu->setStyle(nullptr);
    m_style.reset();
    m_menu = menu;
    if (!menu)
        return;
    m_style = std::make_unique<Style>(menu);
    menu->setStyle(m_style.get());
}
