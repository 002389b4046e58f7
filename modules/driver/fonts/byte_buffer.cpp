#include "byte_buffer.h"

#include <stdlib.h>
#include <string.h>

static bool Grow(ByteBuffer& buffer, size_t count) {
  if (buffer.Failed) return false;
  if (count <= buffer.Capacity - buffer.Size) return true;
  size_t needed = buffer.Size + count;
  if (needed < buffer.Size) {
    buffer.Failed = true;
    return false;
  }
  size_t grown = buffer.Capacity ? buffer.Capacity : 256;
  while (grown < needed) {
    if (grown > (size_t(-1) >> 1)) {
      buffer.Failed = true;
      return false;
    }
    grown *= 2;
  }
  uint8_t* larger = static_cast<uint8_t*>(realloc(buffer.Data, grown));
  if (!larger) {
    buffer.Failed = true;
    return false;
  }
  buffer.Data = larger;
  buffer.Capacity = grown;
  return true;
}

void AppendBytes(ByteBuffer& buffer, const void* bytes, size_t count) {
  if (!count || !Grow(buffer, count)) return;
  memcpy(buffer.Data + buffer.Size, bytes, count);
  buffer.Size += count;
}

void AppendU16(ByteBuffer& buffer, uint32_t value) {
  uint8_t bytes[2] = {uint8_t(value >> 8), uint8_t(value)};
  AppendBytes(buffer, bytes, 2);
}

void AppendU32(ByteBuffer& buffer, uint32_t value) {
  uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  AppendBytes(buffer, bytes, 4);
}

void AppendZeros(ByteBuffer& buffer, size_t count) {
  if (!count || !Grow(buffer, count)) return;
  memset(buffer.Data + buffer.Size, 0, count);
  buffer.Size += count;
}

void AppendText(ByteBuffer& buffer, const char* text) { AppendBytes(buffer, text, strlen(text)); }

void AppendNumber(ByteBuffer& buffer, long long value) {
  char digits[24];
  int length = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
  do {
    digits[length++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) AppendBytes(buffer, "-", 1);
  while (length) AppendBytes(buffer, &digits[--length], 1);
}

void AppendDecimal(ByteBuffer& buffer, double value) {
  bool negative = value < 0;
  if (negative) value = -value;
  if (value > 1e15) value = 1e15;  // far beyond any page; keeps the integer part in range
  long long scaled = static_cast<long long>(value * 1000.0 + 0.5);
  if (negative && scaled) AppendBytes(buffer, "-", 1);
  AppendNumber(buffer, scaled / 1000);
  int fraction = static_cast<int>(scaled % 1000);
  if (!fraction) return;
  char digits[5] = {'.', char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10), 0};
  int length = 4;
  while (digits[length - 1] == '0') --length;
  AppendBytes(buffer, digits, length);
}

void AppendHex4(ByteBuffer& buffer, uint32_t value) {
  static const char hex[] = "0123456789ABCDEF";
  char digits[4] = {hex[(value >> 12) & 15], hex[(value >> 8) & 15], hex[(value >> 4) & 15], hex[value & 15]};
  AppendBytes(buffer, digits, 4);
}

void PutU16At(ByteBuffer& buffer, size_t offset, uint32_t value) {
  if (buffer.Failed || offset + 2 > buffer.Size) return;
  buffer.Data[offset] = uint8_t(value >> 8);
  buffer.Data[offset + 1] = uint8_t(value);
}

void PutU32At(ByteBuffer& buffer, size_t offset, uint32_t value) {
  if (buffer.Failed || offset + 4 > buffer.Size) return;
  for (int i = 0; i < 4; ++i) buffer.Data[offset + i] = uint8_t(value >> (24 - 8 * i));
}

void FreeByteBuffer(ByteBuffer& buffer) {
  free(buffer.Data);
  buffer = ByteBuffer();
}
