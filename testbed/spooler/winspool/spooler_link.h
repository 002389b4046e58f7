// What every call of the stand-in's winspool.drv shares: the link to the service, printer
// handles, and the packing of info records for the two-call protocol.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <string>

#include "../common/spooler_pipe.h"

// Calls the service. Returns the Windows error of the call: 1722 while the service is stopped.
// `reply` may be null when only the error matters.
DWORD CallService(SpoolerCommand command, DWORD number, const std::wstring& text1, const std::wstring& text2,
                  SpoolerReply* reply = nullptr, DWORD* generation = nullptr);
// A ping: 0 when the service runs, else 1722.
DWORD SpoolerUp(DWORD* generation = nullptr);
// The error of a fault switch due for this call, or 0.
DWORD TakeServiceFault(const wchar_t* faultName);

inline BOOL FailWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}
// Texts that cross the pipe must fit in a request.
inline bool FitsRequest(const wchar_t* text) { return !text || wcslen(text) < SPOOLER_TEXT_CHARS - 1; }

struct PrinterHandle {
  DWORD Magic;
  std::wstring Name;
  ACCESS_MASK Access;
  DWORD Generation;  // of the service that opened it: a handle does not survive a restart
  DWORD JobId;       // 0 outside a document
  HANDLE SpoolFile;
  bool InPage;
};
#define PRINTER_HANDLE_MAGIC 0x51505248u

// The handle's record after checking it and the service: null with the last error set
// (ERROR_INVALID_HANDLE, 1722).
PrinterHandle* CheckedHandle(HANDLE handle);

// Packs records and their strings for the two-call protocol: the records first, the strings
// right behind them. The first pass only counts.
struct InfoPacker {
  BYTE* Buffer;
  DWORD Used;
  bool Writing;
  LPWSTR Text(const std::wstring& text);
  LPWSTR TextList(const std::wstring& joined);  // "a\0b\0\0" as given
};

// Fills `count` records of `recordBytes` each with `fill(packer, record, index)` (record null
// while counting). Sets *needed; fails with ERROR_INSUFFICIENT_BUFFER when cbBuf is too small.
template <typename Fill>
BOOL PackRecords(BYTE* buffer, DWORD cbBuf, DWORD* needed, DWORD* returned, DWORD count, DWORD recordBytes,
                 Fill fill) {
  InfoPacker counting = {nullptr, count * recordBytes, false};
  for (DWORD i = 0; i < count; ++i) fill(counting, static_cast<BYTE*>(nullptr), i);
  *needed = counting.Used;
  if (returned) *returned = 0;
  if (counting.Used > cbBuf || (counting.Used > 0 && !buffer)) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  if (counting.Used > 0) ZeroMemory(buffer, counting.Used);
  InfoPacker writing = {buffer, count * recordBytes, true};
  for (DWORD i = 0; i < count; ++i) fill(writing, buffer + i * recordBytes, i);
  if (returned) *returned = count;
  return TRUE;
}

#include <vector>
// The machine's ports as the service's monitors report them.
DWORD FetchPortNames(std::vector<std::wstring>& ports);
