#include "wide_buffer.h"

#include <stdlib.h>
#include <string.h>

namespace {

const UINT64 kCapacityStep = 32;
// The largest length whose block size still fits a SIZE_T.
const UINT64 kMaxLength = ((static_cast<UINT64>(static_cast<SIZE_T>(-1)) - sizeof(WideBufferBlock)) / 2) - kCapacityStep;

WCHAR* TextOf(WideBufferBlock* block) { return reinterpret_cast<WCHAR*>(block + 1); }

UINT64 WideLength(const WCHAR* text) {
  UINT64 n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace

SIZE_T WideBufferBlockSize(UINT64 length) {
  if (length == 0) return 0;
  if (length > kMaxLength) return 0;
  UINT64 capacity = ((length + 1 + kCapacityStep - 1) / kCapacityStep) * kCapacityStep;
  return static_cast<SIZE_T>(sizeof(WideBufferBlock) + 2 * capacity);
}

bool SetLength(WideBuffer& buffer, UINT64 length) {
  if (length == 0) {
    Clear(buffer);
    return true;
  }
  SIZE_T wanted = WideBufferBlockSize(length);
  if (wanted == 0) return false;
  SIZE_T current = buffer.Block ? WideBufferBlockSize(buffer.Block->length) : 0;
  if (wanted != current) {
    void* block = current != 0 ? realloc(buffer.Block, wanted) : malloc(wanted);
    if (block == nullptr) return false;
    buffer.Block = static_cast<WideBufferBlock*>(block);
  }
  TextOf(buffer.Block)[length] = 0;
  buffer.Block->length = length;
  return true;
}

WideBuffer& AssignWide(WideBuffer& buffer, const WCHAR* text) {
  if (text == nullptr || text[0] == 0) {
    Clear(buffer);
    return buffer;
  }
  UINT64 n = WideLength(text);
  if (SetLength(buffer, n)) memcpy(TextOf(buffer.Block), text, static_cast<size_t>(n) * sizeof(WCHAR));
  return buffer;
}

WideBuffer& AppendWideN(WideBuffer& buffer, const WCHAR* text, UINT64 count) {
  if (text == nullptr) return buffer;
  UINT64 k = 0;
  while (k < count && text[k] != 0) ++k;
  if (k == 0) return buffer;
  UINT64 old = Length(buffer);
  if (SetLength(buffer, old + k)) memcpy(TextOf(buffer.Block) + old, text, static_cast<size_t>(k) * sizeof(WCHAR));
  return buffer;
}

WideBuffer& AppendWide(WideBuffer& buffer, const WCHAR* text) {
  return AppendWideN(buffer, text, static_cast<UINT64>(-1));
}

WideBuffer FromAnsi(const char* text) {
  WideBuffer result;
  if (text == nullptr) return result;
  int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (n <= 1) return result;
  if (!SetLength(result, static_cast<UINT64>(n - 1))) return result;
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, TextOf(result.Block), n);
  return result;
}

WideBuffer DirectoryPart(const WideBuffer& buffer) {
  WideBuffer result;
  UINT64 n = Length(buffer);
  if (n == 0) return result;
  const WCHAR* text = Text(buffer);
  // A backslash anywhere wins; only a text without one is split at its last slash.
  UINT64 found = n;
  for (UINT64 i = 0; i < n; ++i)
    if (text[i] == L'\\') found = i;
  if (found == n)
    for (UINT64 i = 0; i < n; ++i)
      if (text[i] == L'/') found = i;
  if (found == n || found == 0) return result;
  AppendWideN(result, text, found);
  return result;
}

WideBuffer Clone(const WideBuffer& buffer) {
  WideBuffer result;
  if (buffer.Block == nullptr) return result;
  SIZE_T size = WideBufferBlockSize(buffer.Block->length);
  void* block = malloc(size);
  if (block == nullptr) return result;
  memcpy(block, buffer.Block, size);
  result.Block = static_cast<WideBufferBlock*>(block);
  return result;
}

UINT64 Length(const WideBuffer& buffer) { return buffer.Block ? buffer.Block->length : 0; }

const WCHAR* Text(const WideBuffer& buffer) { return buffer.Block ? TextOf(buffer.Block) : L""; }

WCHAR* MutableText(WideBuffer& buffer) { return buffer.Block ? TextOf(buffer.Block) : nullptr; }

void Clear(WideBuffer& buffer) {
  free(buffer.Block);
  buffer.Block = nullptr;
}
