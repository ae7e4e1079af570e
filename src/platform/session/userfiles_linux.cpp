#include "platform/session/userfiles.h"

#include "platform/uniquefd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zeph::platform {

SmallFile readSmallFile(const QString& path, qsizetype maxBytes)
{
    SmallFile file;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    const UniqueFd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        file.status = errno == ENOENT ? SmallFile::Status::Missing : SmallFile::Status::Unreadable;
        return file;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        file.status = SmallFile::Status::Unreadable;
        return file;
    }
    if (st.st_size > maxBytes) {
        file.status = SmallFile::Status::TooLarge;
        return file;
    }
    // One byte past the bound tells a file that grew since.
    file.bytes.resize(maxBytes + 1);
    qsizetype got = 0;
    while (got < file.bytes.size()) {
        const ssize_t n =
            ::read(fd.get(), file.bytes.data() + got, std::size_t(file.bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            file.status = SmallFile::Status::Unreadable;
            file.bytes.clear();
            return file;
        }
        if (n == 0)
            break;
        got += n;
    }
    file.bytes.truncate(got);
    file.status = got > maxBytes ? SmallFile::Status::TooLarge : SmallFile::Status::Read;
    if (file.status != SmallFile::Status::Read)
        file.bytes.clear();
    return file;
}

bool isLinkPlantedByAnother(const QString& path)
{
    const QFileInfo info(path);
    struct stat link {};
    struct stat folder {};
    if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &link) != 0 ||
        !S_ISLNK(link.st_mode))
        return false;
    if (::stat(QFile::encodeName(info.absolutePath()).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && link.st_uid != ::geteuid();
}

bool noOtherUserCanReplace(const QString& path)
{
    const uid_t me = ::geteuid();
    QString at = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (;;) {
        struct stat st {};
        // A link could be pointed elsewhere by whoever owns its folder; the
        // program's own path has none.
        if (::lstat(QFile::encodeName(at).constData(), &st) != 0 || S_ISLNK(st.st_mode))
            return false;
        const bool ours = st.st_uid == 0 || st.st_uid == me;
        const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
        if (!ours || (othersWrite && !sticky))
            return false;
        if (at == u'/')
            return true;
        at = QFileInfo(at).absolutePath();
    }
}

} // namespace zeph::platform
