#pragma once
// The two options the program answers before anything else starts: no
// display, window, single-instance marker, socket or scan is involved.

#include <cstdio>

namespace zeph {

enum class CommandLineAction { Run, PrintVersion, PrintHelp };

// --version, --help or -h as the first argument; anything else (Qt's own
// options among it) is left to the application.
CommandLineAction parseCommandLine(int argc, const char* const argv[]);

// Prints what the action asks for; returns the exit code (0).
int printCommandLineAnswer(CommandLineAction action, std::FILE* out);

} // namespace zeph
