#pragma once
// One running copy per desktop session. The marker is a lock held on an open
// file in the user's runtime directory, keyed by the display: the kernel drops
// the lock when the process dies, so a killed or crashed copy never blocks the
// next start.

#include <QString>

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
    bool held() const { return m_fd >= 0; }

    // The lock file for the current user and display.
    QString path() const;

private:
    QString m_key;
    int m_fd = -1;
};

} // namespace zeph::platform
