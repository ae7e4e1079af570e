#include "history/history.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/product.h"
#include "core/texts.h"
#include "history/texts.h"
#include "platform/session/userfiles.h"

#include <QSaveFile>

#include <cstring>

namespace zeph {
namespace {
const QByteArray kCrLf = QByteArrayLiteral("\r\n");
const QByteArray& stars()
{
    static const QByteArray s = G(texts::kNoticeMark);
    return s;
}
const QByteArray& crosses()
{
    static const QByteArray s = G(texts::kErrorMark);
    return s;
}
} // namespace

QByteArray History::banner()
{
    return G(texts::kWelcome) + kCrLf + G(texts::kBannerAuthor) + G(product::kAuthor) + ' ' +
           G(texts::kBannerSite) + G(product::kWebAddress) + stars();
}

QByteArray History::separator()
{
    return QByteArray(56, '-');
}

QByteArray History::scanRunningText()
{
    return G(texts::kScanRunning);
}

void History::initialise()
{
    setText(banner());
}

void History::setText(const QByteArray& text)
{
    m_spill.clear(); // and a failed file is tried again
    m_text = text;
    // Room for the whole held text at once: growing by doubling would copy it
    // into fresh memory, a long pause in the middle of a flood. Untouched
    // pages of the reserve cost nothing.
    m_text.reserve(m_heldLimit + m_heldLimit / 8);
    Q_EMIT reset(m_text);
}

void History::appendRaw(QByteArrayView text)
{
    if (text.isEmpty())
        return;
    const QByteArray piece = text.toByteArray();
    m_text.append(piece);
    Q_EMIT appended(piece);
    if (m_text.size() > m_heldLimit)
        spillOldest();
}

qsizetype History::cutKeeping(qsizetype kept) const
{
    // Where an entry starts, when there is such a place.
    const qsizetype cut = m_text.size() - kept;
    const qsizetype entry = m_text.indexOf(kCrLf, cut);
    return entry > 0 ? entry : cut;
}

void History::dropHeld(qsizetype cut)
{
    // The rest moves to the front of the same buffer: a fresh buffer would be
    // touched page by page, which holds the UI thread up for tens of milliseconds.
    char* const data = m_text.data();
    const qsizetype kept = m_text.size() - cut;
    std::memmove(data, data + cut, static_cast<size_t>(kept));
    m_text.truncate(kept);
}

void History::spillOldest()
{
    // Move out the oldest eighth: writing it holds the UI thread up, so the
    // pieces are kept small.
    const qsizetype cut = cutKeeping(m_heldLimit / 8 * 7);
    if (m_spill.append(QByteArrayView(m_text).first(cut))) {
        dropHeld(cut);
        qCDebug(lcHistory) << "moved" << cut << "bytes of older history out of memory;"
                           << m_spill.size() << "out in all";
        return;
    }
    // The file is full or cannot be written: the oldest text goes on purpose,
    // at once, and the history says so; memory never holds more than the limit.
    const HistorySpill::Refusal why = m_spill.refusal();
    qsizetype dropped = m_spill.size();
    m_spill.dropAll();
    if (why == HistorySpill::Refusal::Full && m_spill.append(QByteArrayView(m_text).first(cut))) {
        dropHeld(cut);
    } else {
        // No file to move text to: the older half of what memory holds goes.
        const qsizetype half = cutKeeping(m_heldLimit / 2);
        dropped += half;
        dropHeld(half);
    }
    qCWarning(lcHistory) << "dropped" << dropped << "bytes of the oldest history";
    appendError(G(texts::kHistoryDropped) + QByteArray::number(dropped) +
                G(texts::kHistoryDroppedBytes) +
                G(why == HistorySpill::Refusal::Full ? texts::kSpillFull : texts::kSpillFailed));
}

void History::appendFramed(QByteArrayView frame, QByteArrayView text)
{
    QByteArray entry;
    entry.reserve(2 + 2 * frame.size() + text.size());
    entry.append(kCrLf).append(frame).append(text).append(frame);
    appendRaw(entry);
}

void History::appendNotice(QByteArrayView text)
{
    appendFramed(stars(), text);
}

void History::appendError(QByteArrayView text)
{
    appendFramed(crosses(), text);
}

void History::appendLine(QByteArrayView text)
{
    appendFramed({}, text);
}

void History::appendSeparator()
{
    appendLine(separator());
}

void History::clear(bool scanRunning)
{
    setText(banner() + kCrLf);
    if (scanRunning)
        appendRaw(scanRunningText());
}

bool History::save(const QString& path)
{
    // The text is written before the result entry is appended, so a file never
    // holds the notice of its own save. QSaveFile writes beside the old file and
    // renames over it only after a complete write: a failure leaves the old file intact.
    // It follows a link itself (the kernel's protected_symlinks never sees
    // it), so a link another user planted in /tmp is refused first: it could
    // point at any of this user's files.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    const bool planted = platform::isLinkPlantedByAnother(path);
    bool ok = !planted && file.open(QIODevice::WriteOnly);
    if (ok)
        ok = m_spill.copyTo(file) && file.write(m_text) == m_text.size();
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok) {
        qCWarning(lcHistory) << "saving the history to" << path << "failed:"
                             << (planted ? QStringLiteral("a link another user planted")
                                         : file.errorString());
        appendError(G(texts::kSaveFailed));
    } else {
        appendNotice(G(texts::kSaveDone));
    }
    return ok;
}

} // namespace zeph
