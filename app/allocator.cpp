#include "app/allocator.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepFreedMemory()
{
#if defined(__GLIBC__)
    // Mesa's llvmpipe takes several megabytes for the 230,400 points of a software frame
    // and frees them when the frame is drawn. By default glibc gives the top of the heap
    // back to the system at once and the next frame faults every page in again: a third
    // of a 480x480 frame went to page faults (perf), 71 ms a frame against 47 ms without.
    // 32 MB is the largest mmap threshold glibc accepts on 64-bit systems.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
#endif
}
