// PDF syntax put together in memory: a growable byte buffer with the few kinds of token the driver
// writes (integers, reals in the shortest exact form to 1/10000, names, references, hex strings).
// A buffer that could not grow stays as it was and says so in Failed; everything added after that
// is dropped, so callers check once at the end.
#pragma once
#include <windows.h>

#include <stddef.h>

struct PdfBytes {
  BYTE* Data;
  size_t Length;
  size_t Capacity;
  bool Failed;  // memory ran out: the bytes are incomplete
};

void PdfBytesClear(PdfBytes& bytes);  // empty, keeping the memory
void PdfBytesFree(PdfBytes& bytes);
bool PdfAppend(PdfBytes& bytes, const void* data, size_t count);
void PdfAppendText(PdfBytes& bytes, const char* text);
void PdfAppendInteger(PdfBytes& bytes, LONGLONG value);
// A real number rounded to 1/10000, without trailing zeros ("12", "0.5", "-3.0625").
void PdfAppendReal(PdfBytes& bytes, double value);
// "N 0 R"
void PdfAppendReference(PdfBytes& bytes, DWORD id);
// A string of bytes as <hex>.
void PdfAppendHexString(PdfBytes& bytes, const BYTE* data, size_t count);
