#pragma once
// How the program asks the C library for memory.

// Pixel blocks of several megabytes have their own store (platform/base/large_blocks.h). Other buffers of
// a megabyte or more (decoder rows, paint caches, temporary copies) are freed and taken again with every
// rebuild too. Left to itself the library hands such blocks back to the system and maps fresh ones, whose
// every page then faults in on first touch, which on a virtual machine costs more than the work itself.
// From this call on, large blocks come from the heap and freed ones stay there to be reused.
void KeepFreedBlocksForReuse();
