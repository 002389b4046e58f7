// The two calls of the spooler's (and the service manager's) variable-size queries: the first,
// without a buffer, learns the size (only ERROR_INSUFFICIENT_BUFFER lets it go on, or
// ERROR_MORE_DATA, the service manager's way of saying the same); the second fills a zero-filled
// fixed global-memory block of that size.
#pragma once
#include <windows.h>

enum TwoCallOutcome {
  TwoCallFilled,      // Block holds the answer
  TwoCallNothing,     // the first call succeeded: there is nothing to read
  TwoCallSizeFailed,  // the first call failed with another error (the last error)
  TwoCallNoMemory,    // the block could not be had (last error E_OUTOFMEMORY)
  TwoCallReadFailed,  // the second call failed (the last error); nothing is kept
};

struct TwoCallResult {
  BYTE* Block;  // the caller frees it with GlobalFree; null unless TwoCallFilled
  DWORD Bytes;  // the size the spooler asked for
  TwoCallOutcome Outcome;
};

// `call(buffer, bytes, &needed)` is one query returning non-zero on success. The block has
// `slack` bytes beyond what was asked for, zero, so a text in it always ends.
template <typename Call>
TwoCallResult QueryTwice(Call call, DWORD slack = 0) {
  TwoCallResult result = {nullptr, 0, TwoCallNothing};
  if (call(static_cast<BYTE*>(nullptr), 0, &result.Bytes)) return result;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER && GetLastError() != ERROR_MORE_DATA) {
    result.Outcome = TwoCallSizeFailed;
    return result;
  }
  SIZE_T size = static_cast<SIZE_T>(result.Bytes) + slack;
  result.Block = static_cast<BYTE*>(GlobalAlloc(GPTR, size != 0 ? size : 1));
  if (result.Block == nullptr) {
    SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
    result.Outcome = TwoCallNoMemory;
    return result;
  }
  DWORD asked = result.Bytes;
  if (!call(result.Block, asked, &result.Bytes)) {
    DWORD code = GetLastError();
    GlobalFree(result.Block);
    SetLastError(code);
    result.Block = nullptr;
    result.Outcome = TwoCallReadFailed;
    return result;
  }
  result.Bytes = asked;
  result.Outcome = TwoCallFilled;
  return result;
}
