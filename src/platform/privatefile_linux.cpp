#include "platform/privatefile.h"

#include "core/logging.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zeph::platform {

int openPrivateScratchFile()
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    // An unnamed file: nobody can open it by a path, and nothing is left behind.
    int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        return fd;
    // File systems without unnamed files: a private name, removed at once.
    QByteArray name = folder + "/zeph-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) {
        qCWarning(lcPlatform) << "no scratch file in" << folder << ":" << std::strerror(errno);
        return -1;
    }
    ::unlink(name.constData());
    (void)::fchmod(fd, S_IRUSR | S_IWUSR);
    return fd;
}

} // namespace zeph::platform
