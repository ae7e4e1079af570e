#pragma once
// The oldest part of the history, moved out of memory into a private scratch
// file. Bytes are only ever appended, read back whole in order, or dropped.
// The file is bounded: 1 GiB, or a quarter of its file system's free space
// when it was made, whichever is less, so a flood cannot fill the disk.

#include "platform/session/privatefile.h"

#include <QByteArrayView>
#include <QtGlobal>

class QIODevice;

namespace zeph::test {
struct SpillPeer;
}

namespace zeph {

class HistorySpill {
public:
    static constexpr qint64 kMaxBound = qint64{1} << 30;

    enum class Refusal { None, Full, Failed };

    HistorySpill() = default;
    HistorySpill(const HistorySpill&) = delete;
    HistorySpill& operator=(const HistorySpill&) = delete;

    // Opens the file at the first use. False (and nothing counted) when the
    // bytes would pass the bound (Full), or the file cannot be made or
    // written (Failed): then the caller keeps or drops them. After a failure
    // the file takes nothing more until clear(), so a broken disk is not
    // tried again at every append.
    bool append(QByteArrayView bytes);
    // Why the last append was refused.
    Refusal refusal() const { return m_refusal; }
    qsizetype size() const { return m_size; }
    qint64 bound() const { return m_bound; }
    // Copies every byte, oldest first, to out.
    bool copyTo(QIODevice& out) const;
    // Drops every byte; a failed file stays failed.
    void dropAll();
    // Drops every byte and forgets a failure: the next append tries again.
    void clear();

private:
    friend struct test::SpillPeer; // the tests look at the file itself
    platform::ScratchFile m_file;
    qsizetype m_size = 0;
    qint64 m_bound = 0;
    Refusal m_refusal = Refusal::None;
};

} // namespace zeph
