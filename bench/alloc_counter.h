#pragma once
// Heap allocations made by this program so far, counted by a replaced operator new, so a
// benchmark can show that a hot path allocates nothing.
long AllocationsSoFar();
