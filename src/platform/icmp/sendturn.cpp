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

} // namespace zeph::probe
