#include <string.h>

#include "sample_drawing.h"

namespace {
std::vector<NotedPen>* penLog = nullptr;

DWORD Read32(const BYTE* p) {
  DWORD value;
  memcpy(&value, p, 4);
  return value;
}
void Append32(std::vector<BYTE>& out, DWORD value) {
  const BYTE* p = reinterpret_cast<const BYTE*>(&value);
  out.insert(out.end(), p, p + 4);
}
}  // namespace

void SetPenLog(std::vector<NotedPen>* log) { penLog = log; }

HPEN GeometricPen(DWORD style, int width, COLORREF colour, DWORD count, const DWORD* dashes) {
  LOGBRUSH brush = {BS_SOLID, colour, 0};
  if (penLog) penLog->push_back({PS_GEOMETRIC | style, static_cast<DWORD>(width), colour,
                                 std::vector<DWORD>(dashes, dashes + count)});
  return ExtCreatePen(PS_GEOMETRIC | style, width, &brush, count, dashes);
}

std::vector<BYTE> WithExtendedPens(const std::vector<BYTE>& emf, const std::vector<NotedPen>& pens) {
  std::vector<BYTE> out;
  size_t next = 0, position = 0;
  DWORD records = 0;
  while (position + 8 <= emf.size()) {
    DWORD type = Read32(&emf[position]), size = Read32(&emf[position + 4]);
    if (size < 8 || position + size > emf.size()) break;
    const BYTE* record = &emf[position];
    // EMR_CREATEPEN: type, size, ihPen, LOGPEN (style, width x and y, colour). The extended pen
    // goes out in the layout Wine's 64-bit gdi32 plays: its EMREXTCREATEPEN holds the
    // pointer-sized EXTLOGPEN (aligned to 8 bytes, an 8-byte hatch) where Windows' EMF format has
    // EXTLOGPEN32, so a record of the standard layout loses its pen on this test bed.
    if (type == EMR_CREATEPEN && size >= 28 && (Read32(record + 12) & PS_TYPE_MASK) == PS_GEOMETRIC &&
        next < pens.size() && pens[next].Style == Read32(record + 12)) {
      const NotedPen& pen = pens[next++];
      DWORD entries = static_cast<DWORD>(pen.Dashes.size());
      Append32(out, EMR_EXTCREATEPEN);
      Append32(out, 8 + 4 * 6 + 4 * 7 + 4 * (entries ? entries : 1));
      Append32(out, Read32(record + 8));  // ihPen
      for (int i = 0; i < 4; ++i) Append32(out, 0);  // no pattern bitmap
      Append32(out, 0);  // EXTLOGPEN's alignment
      Append32(out, pen.Style);
      Append32(out, pen.Width);
      Append32(out, BS_SOLID);
      Append32(out, pen.Colour);
      Append32(out, 0);  // hatch (64 bits)
      Append32(out, 0);
      Append32(out, entries);
      if (entries)
        for (DWORD dash : pen.Dashes) Append32(out, dash);
      else
        Append32(out, 0);
    } else {
      out.insert(out.end(), record, record + size);
    }
    ++records;
    position += size;
  }
  // The header's total size and record count (ENHMETAHEADER's nBytes and nRecords).
  if (out.size() >= sizeof(ENHMETAHEADER)) {
    DWORD bytes = static_cast<DWORD>(out.size());
    memcpy(&out[offsetof(ENHMETAHEADER, nBytes)], &bytes, 4);
    memcpy(&out[offsetof(ENHMETAHEADER, nRecords)], &records, 4);
  }
  return out;
}
