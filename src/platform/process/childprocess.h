#pragma once
// Running a child program to its end within a deadline and reading what it
// printed, without a shell: the program is a full path (nothing is looked
// up), each argument reaches it as given, and no other descriptor or handle of
// ours is inherited.

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace zeph::platform {

// What a program path and its arguments are made of: bytes on Linux, so that
// a GBK name passes as it is; UTF-16 on Windows, as CreateProcessW takes them.
#ifdef _WIN32
using ChildText = QString;
#else
using ChildText = QByteArray;
#endif

struct ChildCommand {
    ChildText program;
    QList<ChildText> arguments;
    // Written to its standard input, which then closes (Linux; a Windows
    // child reads NUL).
    QByteArray input;
    // "NAME=value": when not empty, all the child gets (Linux).
    QList<QByteArray> environment;
};

struct ChildOutcome {
    bool started = false;
    std::optional<long> exitCode; // empty when it was ended at the deadline
    QByteArray output;            // standard output and error, merged as the bytes came
};

// Runs command to its end; a child still running after timeout is ended.
ChildOutcome runChild(const ChildCommand& command, std::chrono::milliseconds timeout);

} // namespace zeph::platform
