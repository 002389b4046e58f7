#include "pdf_syntax.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

void PdfBytesClear(PdfBytes& bytes) {
  bytes.Length = 0;
  bytes.Failed = false;
}

void PdfBytesFree(PdfBytes& bytes) {
  free(bytes.Data);
  bytes.Data = nullptr;
  bytes.Length = bytes.Capacity = 0;
  bytes.Failed = false;
}

bool PdfAppend(PdfBytes& bytes, const void* data, size_t count) {
  if (bytes.Failed) return false;
  if (bytes.Length + count > bytes.Capacity) {
    size_t grown = bytes.Capacity ? bytes.Capacity * 2 : 4096;
    while (grown < bytes.Length + count) grown *= 2;
    BYTE* larger = static_cast<BYTE*>(realloc(bytes.Data, grown));
    if (!larger) {
      bytes.Failed = true;
      return false;
    }
    bytes.Data = larger;
    bytes.Capacity = grown;
  }
  if (count) memcpy(bytes.Data + bytes.Length, data, count);
  bytes.Length += count;
  return true;
}

void PdfAppendText(PdfBytes& bytes, const char* text) { PdfAppend(bytes, text, strlen(text)); }

void PdfAppendInteger(PdfBytes& bytes, LONGLONG value) {
  char digits[24];
  int length = 0;
  bool negative = value < 0;
  ULONGLONG magnitude = negative ? 0 - static_cast<ULONGLONG>(value) : static_cast<ULONGLONG>(value);
  do {
    digits[sizeof(digits) - 1 - length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (negative) digits[sizeof(digits) - 1 - length++] = '-';
  PdfAppend(bytes, digits + sizeof(digits) - length, length);
}

void PdfAppendReal(PdfBytes& bytes, double value) {
  if (!(value == value)) value = 0;  // NaN: nothing sensible to draw, but the syntax stays valid
  if (value > 1e12) value = 1e12;
  if (value < -1e12) value = -1e12;
  LONGLONG scaled = static_cast<LONGLONG>(floor(fabs(value) * 10000.0 + 0.5));
  if (scaled == 0) {
    PdfAppendText(bytes, "0");
    return;
  }
  if (value < 0) PdfAppendText(bytes, "-");
  PdfAppendInteger(bytes, scaled / 10000);
  LONGLONG fraction = scaled % 10000;
  if (!fraction) return;
  char text[6] = {'.', static_cast<char>('0' + fraction / 1000), static_cast<char>('0' + fraction / 100 % 10),
                  static_cast<char>('0' + fraction / 10 % 10), static_cast<char>('0' + fraction % 10), 0};
  int length = 5;
  while (text[length - 1] == '0') --length;
  PdfAppend(bytes, text, length);
}

void PdfAppendReference(PdfBytes& bytes, DWORD id) {
  PdfAppendInteger(bytes, id);
  PdfAppendText(bytes, " 0 R");
}

void PdfAppendHexString(PdfBytes& bytes, const BYTE* data, size_t count) {
  static const char hex[] = "0123456789ABCDEF";
  PdfAppendText(bytes, "<");
  for (size_t i = 0; i < count; ++i) {
    char pair[2] = {hex[data[i] >> 4], hex[data[i] & 15]};
    PdfAppend(bytes, pair, 2);
  }
  PdfAppendText(bytes, ">");
}
