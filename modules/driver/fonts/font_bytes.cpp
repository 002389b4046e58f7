#include "font_bytes.h"

// `length` bytes at `offset` inside `bytes`, written so that no sum can wrap around.
static bool Inside(const FontBytes& bytes, size_t offset, size_t length) {
  return bytes.Data && offset <= bytes.Size && length <= bytes.Size - offset;
}

bool ReadU8(const FontBytes& bytes, size_t offset, uint32_t& value) {
  if (!Inside(bytes, offset, 1)) return false;
  value = bytes.Data[offset];
  return true;
}

bool ReadU16(const FontBytes& bytes, size_t offset, uint32_t& value) {
  if (!Inside(bytes, offset, 2)) return false;
  const uint8_t* p = bytes.Data + offset;
  value = (uint32_t(p[0]) << 8) | p[1];
  return true;
}

bool ReadS16(const FontBytes& bytes, size_t offset, int32_t& value) {
  uint32_t raw;
  if (!ReadU16(bytes, offset, raw)) return false;
  value = raw >= 0x8000 ? int32_t(raw) - 0x10000 : int32_t(raw);
  return true;
}

bool ReadU32(const FontBytes& bytes, size_t offset, uint32_t& value) {
  if (!Inside(bytes, offset, 4)) return false;
  const uint8_t* p = bytes.Data + offset;
  value = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  return true;
}

bool SliceBytes(const FontBytes& bytes, size_t offset, size_t length, FontBytes& slice) {
  if (!Inside(bytes, offset, length)) return false;
  slice.Data = bytes.Data + offset;
  slice.Size = length;
  return true;
}
