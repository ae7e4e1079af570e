#include "platform/session/singleinstance.h"

#include "core/logging.h"
#include "core/product.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

// The folder at path opened (never through a symbolic link) and checked on
// the open descriptor, so that what was checked is what the marker goes in:
// -1 unless it is a directory owned by uid that no one else can write to.
int openPrivateFolder(const QString& path, unsigned uid)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
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
    // The session's runtime folder is trusted only as far as any other: a
    // variable pointing at a shared or foreign folder counts as none.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty()) {
        if (SingleInstance::isPrivateFolder(dir, getuid()))
            return dir;
        qCWarning(lcPlatform) << "the runtime folder" << dir << "is not private to this user";
    }
    // No usable session runtime folder. /tmp is shared: a folder there that
    // another user made first (and could hold the marker in) is never used.
    dir = QStringLiteral("/tmp/%1-%2").arg(product::kAppId, QString::number(getuid()));
    if (privateFolder(dir))
        return dir;
    qCWarning(lcPlatform) << dir
                          << "is not private to this user; the marker goes to the cache folder";
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return {};
    dir = cache + u'/' + product::kAppId.toString();
    return privateFolder(dir) ? dir : QString();
}

} // namespace

SingleInstance::SingleInstance(QString key) : m_key(std::move(key)) {}

SingleInstance::~SingleInstance()
{
    release();
}

QString SingleInstance::fileName() const
{
    return m_key + u'-' + displayKey() + QStringLiteral(".lock");
}

QString SingleInstance::path() const
{
    const QString dir = runtimeDir();
    if (dir.isEmpty())
        return {};
    return dir + u'/' + fileName();
}

bool SingleInstance::isPrivateFolder(const QString& path, unsigned uid)
{
    return bool(UniqueFd(openPrivateFolder(path, uid)));
}

bool SingleInstance::acquire()
{
    if (m_fd)
        return true;
    const QString folder = runtimeDir();
    // Checked again on the descriptor the file is then opened in: the folder
    // cannot be swapped for another between the check and the open.
    const UniqueFd dirFd(folder.isEmpty() ? -1 : openPrivateFolder(folder, getuid()));
    if (!dirFd) {
        qCWarning(lcPlatform) << "no private folder for the single-instance marker";
        return true;
    }
    const QByteArray file = QFile::encodeName(fileName());
    // O_CLOEXEC: a child process (smbclient) must not inherit the lock.
    UniqueFd fd(
        ::openat(dirFd.get(), file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    const int openError = errno;
    if (!fd) {
        qCWarning(lcPlatform) << "cannot open the single-instance marker" << file << "in" << folder
                              << strerror(openError);
        return true;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    m_fd = std::move(fd);
    return true;
}

void SingleInstance::release()
{
    if (!m_fd)
        return;
    ::flock(m_fd.get(), LOCK_UN);
    m_fd.reset();
}

} // namespace zeph::platform
