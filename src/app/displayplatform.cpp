#include "app/displayplatform.h"

#include <QtGlobal>

namespace zeph {

QByteArray preferredPlatform(const QByteArray& qpaPlatform, const QByteArray& display,
                             const QByteArray& waylandDisplay)
{
    if (!qpaPlatform.isEmpty())
        return {};
    if (!display.isEmpty())
        return QByteArrayLiteral("xcb");
    if (!waylandDisplay.isEmpty())
        return QByteArrayLiteral("wayland");
    return {};
}

PlatformPreference::PlatformPreference()
{
    // Windows has one platform; DISPLAY may still be set there (Wine passes it on).
#ifndef Q_OS_WIN
    const QByteArray platform = preferredPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                                  qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        m_set = qputenv("QT_QPA_PLATFORM", platform);
#endif
}

PlatformPreference::~PlatformPreference()
{
    release();
}

void PlatformPreference::release()
{
    if (m_set)
        qunsetenv("QT_QPA_PLATFORM");
    m_set = false;
}

} // namespace zeph
