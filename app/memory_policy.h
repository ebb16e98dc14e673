#pragma once
// How the program asks the C library for memory.

// Pictures are held in blocks of tens to hundreds of megabytes that every rebuild frees and takes again.
// Left to itself the library hands such blocks back to the system and maps fresh ones, whose every page
// then faults in on first touch, which on a virtual machine costs more than the work itself. From this call
// on, large blocks come from the heap and freed ones stay there to be reused.
void KeepFreedBlocksForReuse();
