#include "MyFlatHintUnit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QCursor>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>

#include <memory>
#include <vector>

namespace {

constexpr int kStripWidth = 14;

std::vector<TMyFlatHint*>& registry()
{
    static std::vector<TMyFlatHint*> hints;
    return hints;
}

// Watches the pointer over the whole application and shows the flat hint
// window instead of the platform's tooltips.
class HintController final : public QObject {
public:
    HintController()
    {
        m_showTimer.setSingleShot(true);
        m_hideTimer.setSingleShot(true);
        connect(&m_showTimer, &QTimer::timeout, this, [this] { show(); });
        connect(&m_hideTimer, &QTimer::timeout, this, [this] { hide(); });
    }

    TMyFlatHintWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<TMyFlatHintWindow>();
        return *m_window;
    }

    // With no form holding a TMyFlatHint, nothing of the last one's hints may
    // shape the next one's: no pending hint, no "a hint was up a moment ago".
    void forget()
    {
        m_showTimer.stop();
        hide();
        m_hintLeft.invalidate();
        m_control = nullptr;
        m_source = nullptr;
        m_sourceText.clear();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ToolTip: return true; // the platform's tooltip never shows
        case QEvent::Enter:
        case QEvent::HoverEnter:
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget != m_window.get())
                arm(widget);
            break;
        case QEvent::MouseMove:
            // A control with a hint per place: moving to another place shows that one's hint.
            if (m_source && m_control && watched->isWidgetType()) {
                const QString text = m_source->hintAt(QCursor::pos());
                if (text != m_sourceText) {
                    const bool hintUp = m_window && m_window->isVisible();
                    hide();
                    m_sourceText = text;
                    if (!text.isEmpty())
                        m_showTimer.start(hintUp ? TMyFlatHint::kHintShortPause : TMyFlatHint::kHintPause);
                }
            }
            break;
        case QEvent::Leave:
            if (watched == m_control) {
                m_showTimer.stop();
                // The next control is entered after this one is left: it must
                // still know that a hint was up, to show its own sooner.
                if (m_window && m_window->isVisible())
                    m_hintLeft.start();
                hide();
                m_control = nullptr;
                m_source = nullptr;
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            if (m_window && m_window->isVisible())
                hide();
            m_showTimer.stop();
            break;
        default: break;
        }
        return false;
    }

private:
    void arm(QWidget* widget)
    {
        // The innermost control with a tooltip under the pointer.
        m_source = nullptr;
        for (QWidget* candidate = widget; candidate; candidate = candidate->parentWidget()) {
            if (auto* source = dynamic_cast<FlatHintSource*>(candidate)) {
                m_source = source;
                m_control = candidate;
                m_sourceText = source->hintAt(QCursor::pos());
                if (!m_sourceText.isEmpty())
                    m_showTimer.start(pause());
                return;
            }
            if (!candidate->toolTip().isEmpty()) {
                m_control = candidate;
                m_showTimer.start(pause());
                return;
            }
            if (candidate->isWindow())
                break;
        }
    }

    // The short pause while a hint is up, or was until the pointer left its
    // control a moment ago; the full one otherwise.
    int pause() const
    {
        const bool hintUp = (m_window && m_window->isVisible())
            || (m_hintLeft.isValid() && !m_hintLeft.hasExpired(TMyFlatHint::kHintPause));
        return hintUp ? TMyFlatHint::kHintShortPause : TMyFlatHint::kHintPause;
    }

    void show()
    {
        TMyFlatHint* settings = TMyFlatHint::current();
        if (!m_control || !settings) {
            m_source = nullptr;
            return;
        }
        QString text = m_source ? m_sourceText : m_control->toolTip();
        bool canShow = true;
        if (settings->OnShowHint)
            settings->OnShowHint(text, canShow, m_control);
        if (!canShow || text.isEmpty())
            return;
        const QPoint cursor = QCursor::pos();
        QScreen* screen = QGuiApplication::screenAt(cursor);
        const QRect geometry = screen ? screen->geometry() : QGuiApplication::primaryScreen()->geometry();
        if (window().ActivateHint(text, cursor, geometry))
            m_hideTimer.start(TMyFlatHint::kHintHidePause);
    }

    void hide()
    {
        m_hideTimer.stop();
        if (m_window)
            m_window->hide();
    }

    std::unique_ptr<TMyFlatHintWindow> m_window;
    QPointer<QWidget> m_control;
    FlatHintSource* m_source = nullptr; // valid while m_control is: read it only after checking that
    QString m_sourceText;
    QElapsedTimer m_hintLeft; // since the pointer left a control whose hint was up
    QTimer m_showTimer;
    QTimer m_hideTimer;
};

HintController* controller()
{
    // Goes with the application, so a component that outlives it finds none.
    static QPointer<HintController> instance;
    if (!instance && QApplication::instance()) {
        instance = new HintController;
        instance->setParent(QApplication::instance());
        QApplication::instance()->installEventFilter(instance);
    }
    return instance;
}

} // namespace

// ---------------------------------------------------------------- component

TMyFlatHint::TMyFlatHint(QObject* owner)
    : QObject(owner)
{
    registry().push_back(this);
    controller();
}

TMyFlatHint::~TMyFlatHint()
{
    std::erase(registry(), this);
    if (registry().empty()) {
        if (HintController* hints = controller())
            hints->forget();
    }
}

TMyFlatHint* TMyFlatHint::current()
{
    return registry().empty() ? nullptr : registry().front();
}

TMyFlatHintWindow* TMyFlatHint::window()
{
    HintController* hints = controller();
    return hints ? &hints->window() : nullptr;
}

// ---------------------------------------------------------------- window

TMyFlatHintWindow::TMyFlatHintWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect TMyFlatHintWindow::hintRect(
    const TMyFlatHint& settings, const QString& text, const QPoint& cursor, const QRect& screen, int& direction)
{
    const QFontMetrics metrics(settings.Font);
    const QRect measured
        = metrics.boundingRect(QRect(0, 0, settings.MaxHintWidth - 22, 100000), Qt::AlignLeft | Qt::TextWordWrap, text);
    const int w = measured.width() + 22;
    const int h = measured.height() + 6;
    const bool left = cursor.x() - screen.x() < screen.width() / 2;
    const bool top = cursor.y() - screen.y() < screen.height() / 2;
    direction = top ? (left ? 1 : 0) : (left ? 3 : 2);
    const int d = direction == 1 ? 12 : 5;
    switch (direction) {
    case 1: return QRect(cursor.x() + d, cursor.y() + d, w, h);
    case 0: return QRect(cursor.x() - w - d, cursor.y() + d, w, h);
    case 2: return QRect(cursor.x() - w - d, cursor.y() - h - d, w, h);
    default: return QRect(cursor.x() + d, cursor.y() - h - d, w, h);
    }
}

bool TMyFlatHintWindow::ActivateHint(const QString& text, const QPoint& cursor, const QRect& screen)
{
    m_text = text;
    m_settings = TMyFlatHint::current();
    if (!m_settings)
        return false;
    setFont(m_settings->Font);
    setGeometry(hintRect(*m_settings, text, cursor, screen, m_direction));
    show();
    raise();
    update();
    return true;
}

QImage TMyFlatHintWindow::renderHint() const
{
    QImage image(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    const TMyFlatHint* settings = m_settings ? m_settings.data() : TMyFlatHint::current();
    if (!settings)
        return image;
    const int w = width();
    const int h = height();
    const bool stripLeft = m_direction == 1 || m_direction == 3;
    // Rectangles as (left, top)–(right, bottom), right and bottom excluded.
    const QRect strip
        = stripLeft ? QRect(QPoint(1, 1), QPoint(kStripWidth, h - 2)) : QRect(QPoint(w - 15, 1), QPoint(w - 2, h - 2));
    const QRect textArea
        = stripLeft ? QRect(QPoint(15, 1), QPoint(w - 2, h - 2)) : QRect(QPoint(1, 1), QPoint(w - 16, h - 2));
    QPainter painter(&image);
    painter.fillRect(strip, toQColor(settings->ColorArrowBackground));
    painter.fillRect(textArea, toQColor(settings->ColorBackground));
    painter.setPen(toQColor(settings->ColorBorder));
    painter.drawRect(0, 0, w - 1, h - 1);

    const int stripRight = strip.right() + 1;
    const int stripBottom = strip.bottom() + 1;
    const int a = (m_direction == 1 || m_direction == 3) ? strip.left() + 2 : stripRight - 3;
    const int b = (m_direction == 0 || m_direction == 1) ? strip.top() + 2 : stripBottom - 3;
    const int sx = (m_direction == 0 || m_direction == 2) ? -1 : 1;
    const int sy = (m_direction == 2 || m_direction == 3) ? -1 : 1;
    static constexpr int kArrow[18][2] = {{0, 0}, {0, 6}, {1, 6}, {1, 0}, {6, 0}, {6, 1}, {2, 1}, {2, 4}, {5, 7},
        {6, 7}, {3, 4}, {3, 3}, {6, 6}, {7, 6}, {3, 2}, {4, 2}, {7, 5}, {7, 6}};
    QPolygon arrow;
    for (const auto& point : kArrow)
        arrow << QPoint(a + sx * point[0], b + sy * point[1]);
    painter.setPen(toQColor(settings->ColorArrow));
    painter.drawPolyline(arrow);

    painter.setFont(settings->Font);
    painter.setPen(toQColor(settings->FontColor));
    painter.drawText(textArea.adjusted(3, 1, -3, -1), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_text);
    return image;
}

void TMyFlatHintWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderHint());
}
