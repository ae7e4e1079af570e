#include "platform/singleinstance.h"

#include "core/logging.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != u'.' && c != u'-')
            c = u'_';
    }
    return display;
}

QString runtimeDir()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty() && QFileInfo(dir).isDir())
        return dir;
    // No session runtime folder: a private one under /tmp.
    dir = QStringLiteral("/tmp/zeph-%1").arg(getuid());
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

} // namespace

SingleInstance::SingleInstance(QString key) : m_key(std::move(key)) {}

SingleInstance::~SingleInstance()
{
    release();
}

QString SingleInstance::path() const
{
    return runtimeDir() + u'/' + m_key + u'-' + displayKey() + QStringLiteral(".lock");
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const QByteArray file = QFile::encodeName(path());
    // O_CLOEXEC: a child process (smbclient) must not inherit the lock.
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        qCWarning(lcPlatform) << "cannot open the single-instance marker" << file
                              << strerror(errno);
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void SingleInstance::release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

} // namespace zeph::platform
