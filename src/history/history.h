#pragma once
// The message history: the program's only log. Its GBK text is the history;
// the pane on screen is a view that follows the reset() and appended() signals.
// Memory holds only the newest part: beyond a limit the oldest entries move to
// a private scratch file, and saving writes both. When that file is full or
// cannot be written, the oldest text is dropped at once, with an error entry
// that says how much and why; memory never holds more than the limit.

#include "history/historyspill.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

namespace zeph {

class History : public QObject {
    Q_OBJECT
public:
    // The text kept in memory grows to this many bytes; then its oldest eighth
    // moves to the scratch file.
    static constexpr qsizetype kHeldLimit = qsizetype{16} * 1024 * 1024;

    using QObject::QObject;

    static QByteArray banner();    // the two welcome lines, no line break after the second
    static QByteArray separator(); // the 56-dash first line of every message record
    static QByteArray scanRunningText();

    // The part held in memory: the whole history unless some was moved out.
    const QByteArray& text() const { return m_text; }
    qsizetype spilledSize() const { return m_spill.size(); }
    const HistorySpill& spill() const { return m_spill; }
    void setHeldLimit(qsizetype bytes) { m_heldLimit = bytes; }

    // Start-up: the history becomes the welcome banner.
    void initialise();

    // Every entry starts with CR LF and is appended whole.
    void appendRaw(QByteArrayView text);
    void appendNotice(QByteArrayView text); // ★★★text★★★
    void appendError(QByteArrayView text);  // ×××text×××
    void appendLine(QByteArrayView text);
    void appendSeparator();

    // Banner + CR LF; while a scan runs its notice stands on the third line.
    void clear(bool scanRunning);

    // Writes exactly the whole history (the moved-out part first) to path, replacing the file only
    // once the whole text is on disk, then appends the success or the error entry.
    bool save(const QString& path);

Q_SIGNALS:
    void reset(const QByteArray& text);
    void appended(const QByteArray& text);

private:
    void setText(const QByteArray& text);
    void appendFramed(QByteArrayView frame, QByteArrayView text);
    void spillOldest();
    // Where to cut so that about kept bytes stay held, at an entry's start.
    qsizetype cutKeeping(qsizetype kept) const;
    // Drops the held text before cut.
    void dropHeld(qsizetype cut);

    QByteArray m_text;
    HistorySpill m_spill;
    qsizetype m_heldLimit = kHeldLimit;
};

} // namespace zeph
