#pragma once

// Keeps memory that a busy port's buffers give back in the process, for the
// next batch. The C library otherwise hands buffers of a few hundred KiB back
// to the system at every free, and every batch of a fast port then starts on
// fresh pages: a page fault for each 4 KiB received, which cost a fast port
// as much time as reading it. Call once, first thing in main().
void keepFreedMemoryForReuse();
