#include "ui/arrivals.h"

#include "core/logging.h"
#include "core/product.h"
#include "platform/session/desktopnotification.h"
#include "ui/texts.h"
#include "ui/traycontroller.h"
#include "ui/trayicon.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace zeph::ui {

Arrivals::Arrivals(QWidget* window, QWidget* sendBox, TrayController& tray, OwnerQuery owner)
    : QObject(window), m_window(window), m_sendBox(sendBox), m_tray(tray),
      m_owner(std::move(owner)), m_notice(new platform::DesktopNotification(this))
{
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, &Arrivals::present);
    connect(m_notice, &platform::DesktopNotification::activated, this, &Arrivals::noticeChosen);
    connect(m_tray.icon(), &TrayIcon::messageClicked, this, [this] { noticeChosen({}); });
    m_window->installEventFilter(this);
}

void Arrivals::arrived(const QString& sender, const QString& firstLine)
{
    m_sender = sender;
    m_line = firstLine;
    ++m_waiting;
    if (m_soon.isActive())
        return;
    // A timer of 0 fires once the pass that delivers this batch is over.
    const auto since = std::chrono::milliseconds(m_lastShown.isValid() ? m_lastShown.elapsed()
                                                                       : kMinInterval.count());
    m_soon.start(std::max(std::chrono::milliseconds(0), kMinInterval - since));
}

void Arrivals::present()
{
    m_lastShown.start();
    if (m_owner() == KeyboardOwner::AnotherProgram) {
        showBeside();
    } else {
        bringForward();
        seen();
    }
    m_waiting = 0;
}

void Arrivals::bringForward()
{
    // A window the user is working in keeps its focus where it is.
    const bool focus = !m_window->isVisible() || !m_window->isActiveWindow();
    m_tray.showWindow();
    if (focus)
        focusSendBoxSoon();
}

void Arrivals::showBeside()
{
    m_unseen += m_waiting;
    m_tray.showWithoutActivating();
    QApplication::alert(m_window); // until the window is activated
    m_tray.icon()->setMarked(true);
    notify();
    qCInfo(lcUi) << m_unseen << "message(s) not yet seen";
}

void Arrivals::notify()
{
    QString summary = m_sender.isEmpty() ? texts::kMessageArrived.toString()
                                         : texts::kMessageFrom.toString().arg(m_sender);
    if (m_unseen > 1)
        summary += texts::kUnseenCount.toString().arg(m_unseen);
    if (!m_notice->show(product::kAppId.toString(), summary, m_line,
                        texts::kNoticeAction.toString()))
        m_tray.icon()->showMessage(summary, m_line);
}

void Arrivals::seen()
{
    m_unseen = 0;
    m_notice->close();
    m_tray.icon()->setMarked(false);
}

void Arrivals::noticeChosen(const QString& token)
{
    useActivationToken(token);
    m_tray.showWindow();
    confirmUserActivation(m_window);
    focusSendBoxSoon();
}

void Arrivals::focusSendBoxSoon()
{
    if (m_focusPending)
        return;
    m_focusPending = true;
    // Queued after the showing: the reply goes into the send box.
    QMetaObject::invokeMethod(
        m_sendBox,
        [this] {
            m_focusPending = false;
            m_sendBox->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

bool Arrivals::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowActivate && m_unseen > 0)
        seen(); // the user came to the window
    return QObject::eventFilter(watched, event);
}

} // namespace zeph::ui
