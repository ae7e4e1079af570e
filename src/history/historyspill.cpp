#include "history/historyspill.h"

#include "core/logging.h"
#include "platform/privatefile.h"

#include <QByteArray>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zeph {
namespace {
constexpr qsizetype kCopyChunk = 1024 * 1024;
}

HistorySpill::~HistorySpill()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HistorySpill::append(QByteArrayView bytes)
{
    if (m_fd < 0)
        m_fd = platform::openPrivateScratchFile();
    if (m_fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(m_fd, bytes.data() + done, size_t(bytes.size() - done), off_t(m_size + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            qCWarning(lcHistory) << "the older history stays in memory: writing it out failed:"
                                 << std::strerror(errno);
            // What was written past the end is not counted and is overwritten next time.
            return false;
        }
        done += n;
    }
    m_size += done;
    return true;
}

bool HistorySpill::copyTo(QIODevice& out) const
{
    QByteArray chunk(std::min(kCopyChunk, m_size), Qt::Uninitialized);
    for (qsizetype at = 0; at < m_size;) {
        const ssize_t n =
            ::pread(m_fd, chunk.data(), size_t(std::min(kCopyChunk, m_size - at)), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (out.write(chunk.constData(), n) != n)
            return false;
        at += n;
    }
    return true;
}

void HistorySpill::clear()
{
    if (m_fd >= 0 && ::ftruncate(m_fd, 0) != 0)
        qCWarning(lcHistory) << "emptying the older history failed:" << std::strerror(errno);
    m_size = 0;
}

} // namespace zeph
