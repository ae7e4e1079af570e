#pragma once
// One running copy per desktop session. On Linux the marker is a lock held on
// an open file in the user's runtime directory, keyed by the display: the
// kernel drops the lock when the process dies, so a killed or crashed copy
// never blocks the next start. On Windows it is the global atom KEY.net.tarvo
// with a named mutex of the session beside it; the mutex dies with its
// process, so an atom whose mutex is gone was left by a crashed copy and is
// taken over.

#include <QString>

#ifndef Q_OS_WIN
#include "platform/uniquefd.h"
#endif

namespace zeph::platform {

class SingleInstance {
public:
    explicit SingleInstance(QString key); // e.g. "zeph"
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Check and take the marker in one step; false when another copy holds it.
    // A marker that cannot be made at all (no writable runtime folder) lets
    // the copy run rather than refuse.
    bool acquire();
    void release();
#ifdef Q_OS_WIN
    bool held() const
    {
        return m_mutex != nullptr;
    }

    // The global atom's name for this key.
    QString atomName() const;
#else
    bool held() const
    {
        return bool(m_fd);
    }

    // The lock file for the current user and display. Its folder is the
    // session's runtime folder when that is private to the user (see
    // isPrivateFolder); without one, /tmp/zeph-<uid> when that is
    // private to the user (created so if missing); otherwise, as another user
    // may have made it first, a "zeph" folder in the user's cache folder
    // (under the home folder, where no one else can prepare anything). Empty
    // when none of them can be had.
    QString path() const;

    // Whether path is a folder that only uid can change: a directory itself
    // (not a symbolic link to one), owned by uid, without write permission for
    // group or others.
    static bool isPrivateFolder(const QString& path, unsigned uid);
#endif

private:
    QString fileName() const;

    QString m_key;
#ifdef Q_OS_WIN
    void* m_mutex = nullptr;
    unsigned short m_atom = 0;
#else
    UniqueFd m_fd;
#endif
};

} // namespace zeph::platform
