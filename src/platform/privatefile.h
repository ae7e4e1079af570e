#pragma once
// A scratch file only this process can reach: readable and writable by its
// owner alone, with no name in any folder, so it goes when the process ends,
// however it ends.

namespace zeph::platform {

// A descriptor open for reading and writing, or -1. The file lives in the
// temporary folder (TMPDIR, else /tmp).
int openPrivateScratchFile();

} // namespace zeph::platform
