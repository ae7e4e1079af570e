#include "platform/session/userfiles.h"

#include <QFile>
#include <QFileInfo>

namespace zeph::platform {

SmallFile readSmallFile(const QString& path, qsizetype maxBytes)
{
    // No FIFO can stand at a path in a Windows folder: a plain open cannot block.
    SmallFile file;
    const QFileInfo info(path);
    if (!info.exists()) {
        file.status = SmallFile::Status::Missing;
        return file;
    }
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly)) {
        file.status = SmallFile::Status::Unreadable;
        return file;
    }
    if (f.size() > maxBytes) {
        file.status = SmallFile::Status::TooLarge;
        return file;
    }
    file.bytes = f.read(maxBytes + 1);
    file.status =
        file.bytes.size() > maxBytes ? SmallFile::Status::TooLarge : SmallFile::Status::Read;
    if (file.status != SmallFile::Status::Read)
        file.bytes.clear();
    return file;
}

bool isLinkPlantedByAnother(const QString&)
{
    return false;
}

bool noOtherUserCanReplace(const QString&)
{
    return true;
}

} // namespace zeph::platform
