#pragma once
// Memory for large pictures, shared by every bitmap kind.
//
// A picture of tens of millions of pixels lives in blocks of tens to hundreds of megabytes that each
// rebuild frees and asks for again. Fresh memory costs a page fault per 4 KB on first touch, which on a
// virtual machine costs many times the work done with it. So blocks from LargeBlockMinBytes up come straight
// from the system in huge pages (one fault per 2 MB), and freed ones are kept, a few and a bounded total,
// to serve the next request of about the same size without any fault.
#include <cstddef>

// Blocks below this size are left to the C library.
constexpr size_t LargeBlockMinBytes = size_t(4) << 20;

// A block of at least Bytes (LargeBlockMinBytes or more), aligned to 2 MB; nullptr when the system has no
// memory for it. With Zeroed every byte reads 0; without, a reused block keeps what it held.
void* AllocLargeBlock(size_t Bytes, bool Zeroed);
// Gives back a block of AllocLargeBlock (kept for reuse or returned to the system); false, and nothing
// done, for any other pointer.
bool FreeLargeBlock(void* P);
// Returns every kept block to the system.
void ReleaseCachedLargeBlocks();
// Bytes held in kept blocks.
size_t CachedLargeBlockBytes();
