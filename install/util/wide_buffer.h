// A growable UTF-16 string in one block of the runtime library's heap.
#pragma once
#include <windows.h>

// The block: the length in UTF-16 units (terminator not counted), then the text with room for
// `capacity` units, `capacity` being the smallest multiple of 32 that is at least length + 1.
// The block size is never stored: it is always recomputed from the length.
struct WideBufferBlock {
  UINT64 length;
};

// Null is the empty string; there is never a block of length 0.
struct WideBuffer {
  WideBufferBlock* Block = nullptr;
};

// Bytes of the block that holds a text of `length` units (8 + 2 * capacity); 0 for length 0.
SIZE_T WideBufferBlockSize(UINT64 length);

// Resizes to n units, keeping the content and writing the terminator at n; n = 0 empties.
// Units between the old length and n are the caller's to write. Returns false (and leaves the
// buffer as it was) only when the heap cannot supply the block.
bool SetLength(WideBuffer& buffer, UINT64 length);
WideBuffer& AssignWide(WideBuffer& buffer, const WCHAR* text);
WideBuffer& AppendWide(WideBuffer& buffer, const WCHAR* text);
// Appends at most `count` units of `text` (stops earlier at its terminator).
WideBuffer& AppendWideN(WideBuffer& buffer, const WCHAR* text, UINT64 count);
WideBuffer FromAnsi(const char* text);
WideBuffer DirectoryPart(const WideBuffer& buffer);
WideBuffer Clone(const WideBuffer& buffer);
UINT64 Length(const WideBuffer& buffer);
// The text; "" for an empty buffer.
const WCHAR* Text(const WideBuffer& buffer);
// The text for in-place edits; null for an empty buffer.
WCHAR* MutableText(WideBuffer& buffer);
void Clear(WideBuffer& buffer);

// Releases the buffer when the scope ends.
struct WideBufferScope {
  WideBuffer Value;
  WideBufferScope() = default;
  explicit WideBufferScope(WideBuffer value) : Value(value) {}
  ~WideBufferScope() { Clear(Value); }
  WideBufferScope(const WideBufferScope&) = delete;
  WideBufferScope& operator=(const WideBufferScope&) = delete;
};
