// A growable block of bytes the font library writes into (a font program, a CMap, a dictionary's
// text). A failed allocation is remembered rather than thrown: the writer goes on cheaply and the
// caller looks at Failed once at the end.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct ByteBuffer {
  uint8_t* Data;
  size_t Size;
  size_t Capacity;
  bool Failed;
};

void AppendBytes(ByteBuffer& buffer, const void* bytes, size_t count);
void AppendU16(ByteBuffer& buffer, uint32_t value);  // big-endian, as fonts store numbers
void AppendU32(ByteBuffer& buffer, uint32_t value);
void AppendZeros(ByteBuffer& buffer, size_t count);
void AppendText(ByteBuffer& buffer, const char* text);
void AppendNumber(ByteBuffer& buffer, long long value);
// A number to three decimals without trailing zeros (PDF glyph space and font units).
void AppendDecimal(ByteBuffer& buffer, double value);
void AppendHex4(ByteBuffer& buffer, uint32_t value);  // four upper-case hex digits
void PutU16At(ByteBuffer& buffer, size_t offset, uint32_t value);
void PutU32At(ByteBuffer& buffer, size_t offset, uint32_t value);
void FreeByteBuffer(ByteBuffer& buffer);
