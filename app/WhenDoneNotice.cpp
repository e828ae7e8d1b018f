#include "WhenDoneNotice.h"

#include "FormsSupport.h"
#include "MyButtonEx.h"

#include <QKeyEvent>
#include <QLabel>

QString whenDoneText(WhenDone action, int secondsLeft)
{
    // English says "1 second" but "0 seconds": the one form is for exactly one.
    const QString seconds
        = secondsLeft == 1 ? WhenDoneNotice::tr("1 second") : WhenDoneNotice::tr("%n seconds", nullptr, secondsLeft);
    switch (action) {
    case WhenDone::Quit: return WhenDoneNotice::tr("The run has ended.\nCalvera quits in %1.").arg(seconds);
    case WhenDone::Suspend: return WhenDoneNotice::tr("The run has ended.\nThe computer suspends in %1.").arg(seconds);
    case WhenDone::PowerOff:
        return WhenDoneNotice::tr("The run has ended.\nThe computer powers off in %1.").arg(seconds);
    case WhenDone::Nothing: break;
    }
    return {};
}

WhenDoneNotice::WhenDoneNotice(WhenDone action, std::chrono::milliseconds countdown)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_action(action)
    , m_countdown(countdown)
{
    setObjectName("WhenDoneNotice");
    setWindowTitle(kApplicationName);
    // It never keeps Calvera running after its window closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(420, 114);
    fillBackground(*this, kFormBackground);
    setFont(formFont(12));

    lbText = new QLabel(this);
    lbText->setGeometry(16, 10, 388, 48);
    lbText->setFont(formFont(16));
    lbText->setWordWrap(true);
    setTextColor(*lbText, kCaptionColor);
    btnCancel = makeFormsButton(this, tr("&Cancel"), QRect(283, 64, 121, 38));
    btnCancel->setObjectName("btnCancel");
    btnCancel->OnClick = [this](TMyButtonEx*) {
        m_end.stop();
        m_tick.stop();
        hide();
        emit cancelled();
    };

    m_end.setSingleShot(true);
    connect(&m_end, &QTimer::timeout, this, [this] {
        m_tick.stop();
        hide();
        emit due();
    });
    connect(&m_tick, &QTimer::timeout, this, [this] { showTimeLeft(); });
    m_started.start();
    m_end.start(m_countdown);
    // Often enough that the seconds shown never lag a whole second behind.
    m_tick.start(200);
    showTimeLeft();
}

int WhenDoneNotice::secondsLeft() const
{
    const qint64 left = std::max<qint64>(0, m_countdown.count() - m_started.elapsed());
    return static_cast<int>((left + 999) / 1000);
}

QString WhenDoneNotice::text() const
{
    return lbText->text();
}

void WhenDoneNotice::showTimeLeft()
{
    lbText->setText(whenDoneText(m_action, secondsLeft()));
}

void WhenDoneNotice::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        btnCancel->OnClick(btnCancel);
        return;
    }
    QWidget::keyPressEvent(event);
}
