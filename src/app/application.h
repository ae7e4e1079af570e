#pragma once

namespace zeph {
// Program entry: builds the main window, runs the event loop, returns 0.
int runApplication(int argc, char* argv[]);
} // namespace zeph
