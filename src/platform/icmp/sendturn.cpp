#include "platform/icmp/sendturn.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace zeph::probe {

SendTurn::SendTurn(const char* path)
    : m_fd(::open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC))
{
    struct stat st {};
    if (m_fd && (::fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0))
        m_fd.reset();
}

bool SendTurn::tryTake()
{
    if (!m_fd)
        return false;
    int rc;
    do
        rc = ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void SendTurn::release()
{
    if (m_fd)
        ::flock(m_fd.get(), LOCK_UN);
}

void SendTurn::want(bool wanted)
{
    if (!m_fd)
        return;
    struct flock range {};
    range.l_type = wanted ? F_RDLCK : F_UNLCK;
    range.l_whence = SEEK_SET;
    range.l_len = 1;
    ::fcntl(m_fd.get(), F_SETLK, &range);
}

bool SendTurn::othersWant() const
{
    if (!m_fd)
        return false;
    // Whether a lock of another process's stands where a write lock would go.
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_len = 1;
    return ::fcntl(m_fd.get(), F_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

} // namespace zeph::probe
