#pragma once
// A scratch file only this process can reach: readable and writable by its
// owner alone, with no name in any folder, so it goes when the process ends,
// however it ends.

#include <QByteArrayView>
#include <QtGlobal>

#ifndef Q_OS_WIN
#include "platform/uniquefd.h"
#endif

namespace zeph::platform {

class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Makes the file in the temporary folder (TMPDIR, else /tmp; on Windows
    // the user's TEMP), or, on Linux when that folder is in memory (tmpfs,
    // ramfs), in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache), so
    // that what is moved out of memory does not stay in memory; false when
    // it cannot be had.
    bool open();
    bool isOpen() const;
    // Bytes free for the user on the file's file system when it was opened.
    qint64 freeSpaceAtOpen() const { return m_freeAtOpen; }

    // Writes every byte at offset; false on any failure.
    bool writeAt(qint64 offset, QByteArrayView bytes);
    // Reads up to size bytes at offset into data: the count, 0 at the end, -1 on failure.
    qint64 readAt(qint64 offset, char* data, qint64 size) const;
    bool truncate();
#ifndef Q_OS_WIN
    // For checks of the file's owner and mode.
    int descriptor() const
    {
        return m_fd.get();
    }
#endif

private:
    qint64 m_freeAtOpen = 0;
#ifdef Q_OS_WIN
    void* m_handle = nullptr; // HANDLE, deleted by Windows when closed
#else
    UniqueFd m_fd;
#endif
};

} // namespace zeph::platform
