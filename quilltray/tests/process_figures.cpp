#include "quilltray/tests/process_figures.h"

namespace {

// The start of SYSTEM_PROCESS_INFORMATION, as the system lays it out for this bitness.
struct ProcessEntry {
  ULONG NextEntryOffset;
  ULONG NumberOfThreads;
  BYTE Reserved1[48];
  USHORT ImageNameLength;
  USHORT ImageNameMaximumLength;
  PWSTR ImageNameBuffer;
  LONG BasePriority;
  HANDLE UniqueProcessId;
  HANDLE InheritedFromUniqueProcessId;
  ULONG HandleCount;
  ULONG SessionId;
  ULONG_PTR UniqueProcessKey;
  SIZE_T PeakVirtualSize;
  SIZE_T VirtualSize;
  ULONG PageFaultCount;
  SIZE_T PeakWorkingSetSize;
  SIZE_T WorkingSetSize;
};

typedef LONG(WINAPI* QuerySystemInformationProc)(ULONG, PVOID, ULONG, PULONG);
const ULONG SystemProcessInformation = 5;
const LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

}  // namespace

bool ReadProcessFigures(DWORD processId, ProcessFigures* figures) {
  QuerySystemInformationProc query = reinterpret_cast<QuerySystemInformationProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return false;
  ULONG size = 1 << 18;
  for (int attempt = 0; attempt < 8; ++attempt, size *= 2) {
    BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
    if (!buffer) return false;
    ULONG needed = 0;
    LONG status = query(SystemProcessInformation, buffer, size, &needed);
    if (status == StatusInfoLengthMismatch) {
      LocalFree(buffer);
      continue;
    }
    bool found = false;
    for (BYTE* at = buffer; status >= 0;) {
      const ProcessEntry* entry = reinterpret_cast<const ProcessEntry*>(at);
      if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) {
        figures->Handles = entry->HandleCount;
        figures->Threads = entry->NumberOfThreads;
        figures->WorkingSet = entry->WorkingSetSize;
        found = true;
        break;
      }
      if (!entry->NextEntryOffset) break;
      at += entry->NextEntryOffset;
    }
    LocalFree(buffer);
    return found;
  }
  return false;
}
