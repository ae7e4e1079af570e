#pragma once
// How an arriving message reaches the user. However fast messages come, the
// window comes forward at most once per pass of the event loop and at most
// once per kMinInterval. While the user works in another program the window is
// shown in front without taking the keyboard, asks for attention, the tray
// icon is marked, and one desktop notice names the last sender and counts the
// messages not yet seen; choosing the notice brings the window with the
// keyboard in the send box. Otherwise the window is restored and activated as
// always, the keyboard in the send box unless the user was already in it.

#include "ui/desktopfocus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QWidget;

namespace zeph::platform {
class DesktopNotification;
}

namespace zeph::ui {

class TrayController;

class Arrivals : public QObject {
    Q_OBJECT
public:
    using OwnerQuery = std::function<KeyboardOwner()>;

    static constexpr std::chrono::milliseconds kMinInterval{300};

    Arrivals(QWidget* window, QWidget* sendBox, TrayController& tray,
             OwnerQuery owner = &keyboardOwner);

    // One message from sender (empty when the text named none).
    void arrived(const QString& sender, const QString& firstLine);
    // Messages shown while the user was elsewhere and not yet seen.
    int unseen() const { return m_unseen; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void present();
    void bringForward(); // the keyboard comes along
    void showBeside();   // the keyboard stays where it is
    void notify();
    void seen();
    void noticeChosen(const QString& token);
    void focusSendBoxSoon();

    QWidget* m_window;
    QWidget* m_sendBox;
    TrayController& m_tray;
    OwnerQuery m_owner;
    platform::DesktopNotification* m_notice;
    QTimer m_soon;
    QElapsedTimer m_lastShown;
    QString m_sender;
    QString m_line;
    int m_waiting = 0; // arrived since the window was last brought forward
    int m_unseen = 0;
    bool m_focusPending = false;
};

} // namespace zeph::ui
