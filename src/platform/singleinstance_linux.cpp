#include "platform/singleinstance.h"

#include "core/logging.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// dir itself, made 0700 when missing; it is then checked, never trusted.
bool privateFolder(const QString& dir)
{
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return SingleInstance::isPrivateFolder(dir, getuid());
}

QString runtimeDir()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty() && QFileInfo(dir).isDir())
        return dir;
    // No session runtime folder. /tmp is shared: a folder there that another
    // user made first (and could hold the marker in) is never used.
    dir = QStringLiteral("/tmp/zeph-%1").arg(getuid());
    if (privateFolder(dir))
        return dir;
    qCWarning(lcPlatform) << dir
                          << "is not private to this user; the marker goes to the cache folder";
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return {};
    dir = cache + QStringLiteral("/zeph");
    return privateFolder(dir) ? dir : QString();
}

} // namespace

SingleInstance::SingleInstance(QString key) : m_key(std::move(key)) {}

SingleInstance::~SingleInstance()
{
    release();
}

QString SingleInstance::path() const
{
    const QString dir = runtimeDir();
    if (dir.isEmpty())
        return {};
    return dir + u'/' + m_key + u'-' + displayKey() + QStringLiteral(".lock");
}

bool SingleInstance::isPrivateFolder(const QString& path, unsigned uid)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const QString where = path();
    if (where.isEmpty()) {
        qCWarning(lcPlatform) << "no private folder for the single-instance marker";
        return true;
    }
    const QByteArray file = QFile::encodeName(where);
    // O_CLOEXEC: a child process (smbclient) must not inherit the lock.
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
