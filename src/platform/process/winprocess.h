#pragma once
// Windows command lines without a shell: the command line is built by
// quoting each argument so that the C runtime's parser (CommandLineToArgvW)
// gives back exactly that argument, whatever quotation marks, backslashes or
// cmd operators it holds; no cmd.exe ever reads it.

#include <QString>
#include <QStringList>

namespace zeph::platform::win {

// One argument as the parser reads it back unchanged.
QString quoteArgument(const QString& argument);

// The program (quoted too) followed by each argument, blank-separated.
QString commandLine(const QString& program, const QStringList& arguments);

// The system folder's copy of name ("net.exe"), empty if there is none.
QString systemProgram(const QString& name);

// The version Windows really is (ntdll's RtlGetVersion, which no
// compatibility shim rewrites), as major * 100 + minor: 501 for XP, 600 for
// Vista, 1000 for 10. 0 when it cannot be read.
int windowsVersion();

} // namespace zeph::platform::win
