#include "platform/session/privatefile.h"

#include "core/logging.h"

#include <QDir>
#include <QString>

#include <windows.h>

namespace zeph::platform {

namespace {

HANDLE handleOf(void* handle)
{
    return handle ? static_cast<HANDLE>(handle) : INVALID_HANDLE_VALUE;
}

OVERLAPPED at(qint64 offset)
{
    OVERLAPPED where{};
    where.Offset = DWORD(quint64(offset) & 0xFFFFFFFFu);
    where.OffsetHigh = DWORD(quint64(offset) >> 32);
    return where;
}

} // namespace

ScratchFile::~ScratchFile()
{
    if (m_handle)
        CloseHandle(handleOf(m_handle));
}

bool ScratchFile::isOpen() const
{
    return m_handle != nullptr;
}

bool ScratchFile::open()
{
    // The user's own temporary folder; the file is opened without sharing, so
    // no other process can open it, and Windows deletes it when the handle
    // closes, however the process ends.
    const QString folder = QDir::toNativeSeparators(QDir::tempPath());
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t name[MAX_PATH + 1] = {};
        if (GetTempFileNameW(reinterpret_cast<const wchar_t*>(folder.utf16()), L"zph", 0, name) ==
            0)
            break;
        // GetTempFileNameW made the file; it is opened again to be deleted on close.
        const HANDLE file =
            CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_handle = file;
            ULARGE_INTEGER free{};
            if (GetDiskFreeSpaceExW(reinterpret_cast<const wchar_t*>(folder.utf16()), &free,
                                    nullptr, nullptr))
                m_freeAtOpen = qint64(free.QuadPart);
            return true;
        }
        DeleteFileW(name);
    }
    qCWarning(lcPlatform) << "no scratch file in" << folder << ", error" << GetLastError();
    return false;
}

bool ScratchFile::writeAt(qint64 offset, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        OVERLAPPED where = at(offset + done);
        const DWORD chunk = DWORD(qMin<qsizetype>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), bytes.data() + done, chunk, &written, &where) ||
            written == 0) {
            qCWarning(lcPlatform) << "writing the scratch file failed, error" << GetLastError();
            return false;
        }
        done += written;
    }
    return true;
}

qint64 ScratchFile::readAt(qint64 offset, char* data, qint64 size) const
{
    OVERLAPPED where = at(offset);
    DWORD read = 0;
    const DWORD chunk = DWORD(qMin<qint64>(size, 1 << 30));
    if (ReadFile(handleOf(m_handle), data, chunk, &read, &where))
        return read;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool ScratchFile::truncate()
{
    LARGE_INTEGER start{};
    if (SetFilePointerEx(handleOf(m_handle), start, nullptr, FILE_BEGIN) &&
        SetEndOfFile(handleOf(m_handle)))
        return true;
    qCWarning(lcPlatform) << "emptying the scratch file failed, error" << GetLastError();
    return false;
}

} // namespace zeph::platform
