#pragma once
// The oldest part of the history, moved out of memory into a private scratch
// file. Bytes are only ever appended, read back whole in order, or dropped.

#include "platform/session/privatefile.h"

#include <QByteArrayView>
#include <QtGlobal>

class QIODevice;

namespace zeph {

class HistorySpill {
public:
    HistorySpill() = default;
    HistorySpill(const HistorySpill&) = delete;
    HistorySpill& operator=(const HistorySpill&) = delete;

    // Opens the file at the first use. False (and nothing written) when the
    // file cannot be made or written: the caller keeps the bytes.
    bool append(QByteArrayView bytes);
    qsizetype size() const { return m_size; }
    // Copies every byte, oldest first, to out.
    bool copyTo(QIODevice& out) const;
    // Empties the file; it stays open for the next append.
    void clear();
#ifndef Q_OS_WIN
    // The file's descriptor while it is open, else -1.
    int descriptor() const
    {
        return m_file.descriptor();
    }
#endif

private:
    platform::ScratchFile m_file;
    qsizetype m_size = 0;
};

} // namespace zeph
