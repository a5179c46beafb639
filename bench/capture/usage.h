#pragma once
// What this process holds, read every second of a recording: memory, handles, GDI objects.
#include <windows.h>

namespace capture_bench {

struct Usage {
  double workingSetMb = 0, privateMb = 0;
  DWORD handleCount = 0, gdiCounted = 0;
  long handles = 0;
};

Usage ReadUsage();

}  // namespace capture_bench
