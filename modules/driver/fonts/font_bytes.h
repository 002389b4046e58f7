// Reading a font's bytes. A font file comes from outside (an application's, a user's, anyone's):
// every read says whether it stayed inside the bytes it was given, and slices are only made
// inside their parent, so a table that lies about its size can never lead a read beyond the data.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct FontBytes {
  const uint8_t* Data;
  size_t Size;
};

bool ReadU8(const FontBytes& bytes, size_t offset, uint32_t& value);
bool ReadU16(const FontBytes& bytes, size_t offset, uint32_t& value);
bool ReadS16(const FontBytes& bytes, size_t offset, int32_t& value);
bool ReadU32(const FontBytes& bytes, size_t offset, uint32_t& value);
// The `length` bytes at `offset`, only when all of them lie inside `bytes`.
bool SliceBytes(const FontBytes& bytes, size_t offset, size_t length, FontBytes& slice);

// A four-letter table tag as the font stores it (big-endian).
constexpr uint32_t FontTag(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) | uint8_t(d);
}
