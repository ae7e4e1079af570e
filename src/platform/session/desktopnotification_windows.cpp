#include "platform/session/desktopnotification.h"

namespace zeph::platform {

// Windows' notices belong to the tray icon: the window layer shows its balloon.
DesktopNotification::DesktopNotification(QObject* parent) : QObject(parent) {}

DesktopNotification::~DesktopNotification() = default;

bool DesktopNotification::show(const QString&, const QString&, const QString&, const QString&)
{
    return false;
}

void DesktopNotification::close() {}

void DesktopNotification::onActivationToken(uint, const QString&) {}
void DesktopNotification::onActionInvoked(uint, const QString&) {}
void DesktopNotification::onClosed(uint, uint) {}

} // namespace zeph::platform
