#pragma once
// The machine's turn to send: one lock that every zeph-probe helper shares,
// so that the pacing floor holds for all of them together, however many any
// user starts. The lock is the package's own file, root's and 0444, made at
// boot by a tmpfiles.d entry (the package and a source install both put it in
// place); flock needs only a descriptor open for reading. Plain C++, for the
// helper.

#include "platform/uniquefd.h"

namespace zeph::probe {

// Where the helpers' lock is: src/CMakeLists.txt's ZEPH_PROBE_LOCK_PATH, which
// no build option moves. A test replaces what stands there only inside a mount
// namespace of its own (a tmpfs over /run/lock, tests/tools/private-run-lock.sh),
// so no user can point an installed helper at a lock of their own.
#ifndef ZEPH_PROBE_LOCK_PATH
#error "ZEPH_PROBE_LOCK_PATH must be defined by the build"
#endif
inline constexpr const char* kLockPath = ZEPH_PROBE_LOCK_PATH;

// A turn that a helper takes before it sends and releases after.
class Turn {
public:
    virtual ~Turn() = default;
    // Whether the lock is the package's: without one, no turn can be had.
    virtual bool sound() const = 0;
    // Takes the turn without waiting; false while another holds it.
    virtual bool tryTake() = 0;
    virtual void release() = 0;
    // Says that this helper waits for the turn, or no longer does, so that a
    // holder lets it in after its burst instead of going on.
    virtual void want(bool wanted) = 0;
    // Whether another helper says it waits.
    virtual bool othersWant() const = 0;
};

// The turn through flock on the lock file.
class SendTurn : public Turn {
public:
    // Opens the lock without blocking and without following a link, and
    // keeps it only when it is a regular file owned by root: a FIFO there
    // would hold every helper before its first request, a folder or a link
    // leaves no file to lock, and a file another user made could be removed
    // or swapped by that user.
    explicit SendTurn(const char* path = kLockPath);

    bool sound() const override { return bool(m_fd); }
    // flock on the file.
    bool tryTake() override;
    void release() override;
    // A shared POSIX record lock on the file's first byte, which flock on
    // Linux never meets: a holder finds it with F_GETLK.
    void want(bool wanted) override;
    bool othersWant() const override;

private:
    platform::UniqueFd m_fd; // open for the helper's life
};

} // namespace zeph::probe
