#pragma once
// Child programs on Windows without a shell: the command line is built by
// quoting each argument so that the C runtime's parser (CommandLineToArgvW)
// gives back exactly that argument, whatever quotation marks, backslashes or
// cmd operators it holds; no cmd.exe ever reads it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace zeph::platform::win {

// One argument as the parser reads it back unchanged.
QString quoteArgument(const QString& argument);

// The program (quoted too) followed by each argument, blank-separated.
QString commandLine(const QString& program, const QStringList& arguments);

struct ProcessOutcome {
    bool started = false;
    std::optional<unsigned long> exitCode; // empty when it was ended at the time limit
    QByteArray output;                     // standard output and error, as the bytes came
};

// Runs program (a full path: no search) with arguments, its window hidden,
// its standard output and error into one pipe that is read to the end; no
// other handle is inherited. A child still running after timeoutMs is ended.
ProcessOutcome runProcess(const QString& program, const QStringList& arguments, int timeoutMs);

// The system folder's copy of name ("net.exe"), empty if there is none.
QString systemProgram(const QString& name);

} // namespace zeph::platform::win
