#include "common/ProcessMemory.h"

#include <cstdlib> // says whether this is the GNU C library

#ifdef __GLIBC__
#include <malloc.h>
#endif

void keepFreedMemoryForReuse()
{
#ifdef __GLIBC__
    // Fixed thresholds also stop the library from moving them at run time.
    // Blocks below 1 MiB come from the heap, and up to 4 MiB left free at its
    // top stays mapped: a little more resident memory, no faults per batch.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}
