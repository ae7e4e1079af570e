#pragma once
// How the C library's allocator hands memory back to the system. A message
// flood allocates and frees megabyte buffers many times a second (the pane's
// text, the history); memory that goes back to the system and is asked for again
// is touched afresh page by page, and those page faults, not the copying, were
// most of the UI thread's longest pauses.

namespace zeph::platform {

// Buffers up to a few tens of megabytes come from the heap and stay there once
// freed, to be reused. Call once at start-up; harmless where it does not apply.
void keepFreedMemoryForReuse();

} // namespace zeph::platform
