#pragma once
// Files and folders that other users may reach, checked before the program
// trusts them: the configuration file the user keeps (read without blocking
// and only up to a bound), a file the history is saved to, and the program a
// log-on entry starts.

#include <QByteArray>
#include <QString>

namespace zeph::platform {

struct SmallFile {
    enum class Status {
        Missing,    // nothing at the path (a dangling link neither)
        Read,       // bytes holds the whole file
        Unreadable, // cannot be opened or read, or is no regular file (a folder, a FIFO, a device)
        TooLarge,   // more than the bound
    };
    Status status = Status::Missing;
    QByteArray bytes;
};

// The regular file at path, opened without blocking (a FIFO there never holds
// the caller) and read up to maxBytes.
SmallFile readSmallFile(const QString& path, qsizetype maxBytes);

// Whether the last component of path is a symbolic link that another user
// planted: a link owned by someone other than this user, in a sticky folder
// that everyone may write (/tmp). Following it would let that user choose
// which of this user's files is written. False where links are no such
// risk (Windows).
bool isLinkPlantedByAnother(const QString& path);

// Whether no user but root and this one can replace the file at path: the
// file and every folder above it are owned by root or this user and writable
// by no one else, except a sticky folder owned by root or this user (others
// may not rename or remove what is not theirs there). False for a path that
// cannot be checked. True on Windows, whose ACLs these rules do not cover.
bool noOtherUserCanReplace(const QString& path);

} // namespace zeph::platform
