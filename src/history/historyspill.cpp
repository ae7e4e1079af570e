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
    if (m_refusal == Refusal::Failed)
        return false;
    if (!m_file.isOpen()) {
        if (!m_file.open()) {
            m_refusal = Refusal::Failed;
            return false;
        }
        m_bound = std::min(kMaxBound, m_file.freeSpaceAtOpen() / 4);
    }
    if (m_size + bytes.size() > m_bound) {
        m_refusal = Refusal::Full;
        return false;
    }
    // What a failed write left past the end is not counted; dropAll() cuts it.
    if (!m_file.writeAt(m_size, bytes)) {
        qCWarning(lcHistory) << "writing the older history out of memory failed";
        m_refusal = Refusal::Failed;
        return false;
    }
    m_refusal = Refusal::None;
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

void HistorySpill::dropAll()
{
    if (m_file.isOpen())
        m_file.truncate();
    m_size = 0;
}

void HistorySpill::clear()
{
    dropAll();
    m_refusal = Refusal::None;
}

} // namespace zeph
