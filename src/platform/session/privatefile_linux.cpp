#include "platform/session/privatefile.h"

#include "core/logging.h"
#include "core/product.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zeph::platform {

ScratchFile::~ScratchFile() = default;

bool ScratchFile::isOpen() const
{
    return bool(m_fd);
}

namespace {

bool inMemory(const QByteArray& folder)
{
    struct statfs fs {};
    if (::statfs(folder.constData(), &fs) != 0)
        return false;
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

// The temporary folder, unless it lives in memory: then the user's cache
// folder, made (owner only) when missing.
QByteArray scratchFolder()
{
    QByteArray temp = QFile::encodeName(QDir::tempPath());
    if (!inMemory(temp))
        return temp;
    QByteArray cache =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    if (cache.isEmpty() || (::mkdir(cache.constData(), S_IRWXU) != 0 && errno != EEXIST)) {
        qCWarning(lcPlatform) << "no cache folder" << cache << ":" << std::strerror(errno);
        return temp;
    }
    return cache;
}

} // namespace

bool ScratchFile::open()
{
    const QByteArray folder = scratchFolder();
    // An unnamed file: nobody can open it by a path, and nothing is left behind.
    int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        // File systems without unnamed files: a private name, removed at once.
        QByteArray name = folder + '/' + product::kAppId.toLatin1() + "-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC); // mode 0600
        if (fd < 0) {
            qCWarning(lcPlatform) << "no scratch file in" << folder << ":" << std::strerror(errno);
            return false;
        }
        ::unlink(name.constData());
        (void)::fchmod(fd, S_IRUSR | S_IWUSR);
    }
    m_fd.reset(fd);
    struct statvfs fs {};
    m_freeAtOpen = ::fstatvfs(fd, &fs) == 0 ? qint64(fs.f_bavail) * qint64(fs.f_frsize) : 0;
    return true;
}

bool ScratchFile::writeAt(qint64 offset, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd.get(), bytes.data() + done, size_t(bytes.size() - done),
                                   off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            qCWarning(lcPlatform) << "writing the scratch file failed:" << std::strerror(errno);
            return false;
        }
        done += n;
    }
    return true;
}

qint64 ScratchFile::readAt(qint64 offset, char* data, qint64 size) const
{
    for (;;) {
        const ssize_t n = ::pread(m_fd.get(), data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool ScratchFile::truncate()
{
    if (::ftruncate(m_fd.get(), 0) == 0)
        return true;
    qCWarning(lcPlatform) << "emptying the scratch file failed:" << std::strerror(errno);
    return false;
}

} // namespace zeph::platform
