#include "usage.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace capture_bench {
namespace {

// Committed private memory, summed over the address space: Wine's process counters leave
// the private-bytes figure at 0.
double PrivateMb() {
  uint64_t bytes = 0;
  MEMORY_BASIC_INFORMATION info;
  for (auto* at = static_cast<uint8_t*>(nullptr);
       VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) bytes += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return bytes / 1048576.0;
}

// This process's entries in the system handle table; GetProcessHandleCount answers 0 under
// Wine. -1 when the table cannot be read.
long HandlesInTable() {
  struct Entry {
    USHORT process, backTrace;
    UCHAR type, attributes;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<uint8_t> buffer(1 << 20);
  LONG status;
  ULONG needed = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == kLengthMismatch &&
         buffer.size() < (256u << 20))
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  if (status != 0) return -1;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  const auto me = static_cast<USHORT>(GetCurrentProcessId());
  long mine = 0;
  for (ULONG i = 0; i < table->count; ++i) mine += table->entries[i].process == me ? 1 : 0;
  return mine;
}

}  // namespace

Usage ReadUsage() {
  Usage u;
  PROCESS_MEMORY_COUNTERS mem{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem))
    u.workingSetMb = mem.WorkingSetSize / 1048576.0;
  u.privateMb = PrivateMb();
  GetProcessHandleCount(GetCurrentProcess(), &u.handleCount);
  u.handles = HandlesInTable();
  u.gdiCounted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return u;
}

}  // namespace capture_bench
