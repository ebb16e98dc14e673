#include "app/memory_policy.h"

#include <malloc.h>

void KeepFreedBlocksForReuse() {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}
