#pragma once
// Queries about the machine.
#include <cstdint>

// Total or currently available physical memory in bytes (0 when unknown).
int64_t PhysicalMemory(bool Available = false);
// Logical processors the process may use (at least 1).
int32_t ProcessorCount();
// Physical cores (at least 1).
int32_t ProcessorCoreCount();
