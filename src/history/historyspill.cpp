#include "history/historyspill.h"

#include "core/logging.h"
#include "platform/session/privatefile.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>

namespace zeph {
namespace {
constexpr qsizetype kCopyChunk = qsizetype{1024} * 1024;
}

bool HistorySpill::append(QByteArrayView bytes)
{
    if (!m_file.isOpen() && !m_file.open())
        return false;
    // What a failed write left past the end is not counted and is overwritten next time.
    if (!m_file.writeAt(m_size, bytes)) {
        qCWarning(lcHistory) << "the older history stays in memory";
        return false;
    }
    m_size += bytes.size();
    return true;
}

bool HistorySpill::copyTo(QIODevice& out) const
{
    QByteArray chunk(std::min(kCopyChunk, m_size), Qt::Uninitialized);
    for (qsizetype at = 0; at < m_size;) {
        const qint64 n = m_file.readAt(at, chunk.data(), std::min(kCopyChunk, m_size - at));
        if (n <= 0 || out.write(chunk.constData(), n) != n)
            return false;
        at += n;
    }
    return true;
}

void HistorySpill::clear()
{
    if (m_file.isOpen())
        m_file.truncate();
    m_size = 0;
}

} // namespace zeph
