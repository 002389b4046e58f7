#include "pdf_images.h"

#include <stdlib.h>
#include <string.h>

#include "pdf_content.h"
#include "png_predictor.h"

struct PdfImageEntry {
  ULONGLONG Hash[2];
  LONG Width, Height;
  bool Grey;
  DWORD Id;
};

// The images written so far in a document. A document of many different images keeps the most
// recent MaxEntries: an older one drawn again is written again, which costs bytes, not correctness.
struct PdfImageCache {
  PdfImageEntry* Entries;
  DWORD Count;
  DWORD Next;  // where the next entry goes once the table is full
};

namespace {

const DWORD MaxEntries = 4096;

// Two FNV-1a hashes with different offsets and primes: a false match of both is out of reach.
struct PixelHash {
  ULONGLONG A, B;
};

void Feed(PixelHash& hash, const BYTE* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    hash.A = (hash.A ^ bytes[i]) * 0x100000001B3ull;
    hash.B = (hash.B ^ bytes[i]) * 0x00000100000001B3ull + 0x9E3779B97F4A7C15ull;
  }
}

// Reads one row of a source as device colours (0x00RRGGBB) and alphas (255 when opaque).
struct SourceReader {
  const EngineCalls* Engine;
  const ImageSource* Source;
  bool Indexed;
  ULONG Palette[256];
  bool Trivial;       // the source's 24/32-bit values are already this device's colours
  ULONG LastValue;    // the last value translated through XLATEOBJ_iXlate, and its colour
  ULONG LastColour;
  bool LastKnown;
  bool Exact;
};

ULONG RawValue(const SURFOBJ& surface, const BYTE* row, LONG x) {
  switch (surface.iBitmapFormat) {
    case BMF_1BPP:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_4BPP:
      return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    case BMF_8BPP:
      return row[x];
    case BMF_16BPP:
      return row[2 * x] | (row[2 * x + 1] << 8);
    case BMF_24BPP:
      return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    case BMF_32BPP:
      return row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) | (static_cast<ULONG>(row[4 * x + 3]) << 24);
  }
  return 0;
}

bool StartReader(SourceReader& reader, const EngineCalls& engine, const ImageSource& source) {
  const SURFOBJ* surface = source.Surface;
  if (!surface || !surface->pvScan0 || surface->iType != STYPE_BITMAP) return false;
  const RECTL& area = source.Area;
  if (area.left < 0 || area.top < 0 || area.right > surface->sizlBitmap.cx || area.bottom > surface->sizlBitmap.cy ||
      area.left >= area.right || area.top >= area.bottom)
    return false;
  ULONG format = surface->iBitmapFormat;
  if (format != BMF_1BPP && format != BMF_4BPP && format != BMF_8BPP && format != BMF_16BPP && format != BMF_24BPP &&
      format != BMF_32BPP)
    return false;
  if (source.Transparency == ImagePremultipliedAlpha && format != BMF_32BPP) return false;
  reader.Engine = &engine;
  reader.Source = &source;
  reader.Indexed = format == BMF_1BPP || format == BMF_4BPP || format == BMF_8BPP;
  XLATEOBJ* xlate = source.Xlate;
  reader.Trivial = !xlate || (xlate->flXlate & XO_TRIVIAL);
  reader.LastKnown = false;
  reader.Exact = true;
  if (reader.Indexed) {
    ULONG entries = format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : 256;
    if (reader.Trivial || !engine.XLATEOBJ_iXlate) {
      if (format != BMF_1BPP) return false;  // indices without their colours
      reader.Palette[0] = 0;
      reader.Palette[1] = 0xFFFFFF;
    } else {
      for (ULONG i = 0; i < entries; ++i) reader.Palette[i] = engine.XLATEOBJ_iXlate(xlate, i) & 0xFFFFFF;
    }
  } else if (format == BMF_16BPP && reader.Trivial) {
    return false;  // 16-bit values are never this device's colours
  } else if (!reader.Trivial && !engine.XLATEOBJ_iXlate) {
    return false;
  }
  return true;
}

ULONG Translate(SourceReader& reader, ULONG value) {
  if (reader.Indexed) return reader.Palette[value & 0xFF];
  if (reader.Trivial) return value & 0xFFFFFF;
  if (!reader.LastKnown || reader.LastValue != value) {
    reader.LastValue = value;
    reader.LastColour = reader.Engine->XLATEOBJ_iXlate(reader.Source->Xlate, value) & 0xFFFFFF;
    reader.LastKnown = true;
  }
  return reader.LastColour;
}

// The raw value a keyed-out pixel at (x, y) of the surface is said with: that of a neighbour (the
// eight around it, inside the area) that is not the key, else its own. Renderers smooth a picture
// they enlarge, its SMask too, so the colour under a masked pixel shows along the mask's edge: the
// key colour would fringe the picture (magenta round a magenta-keyed one); a neighbour's does not.
ULONG KeyedValue(const ImageSource& source, LONG x, LONG y) {
  const SURFOBJ& surface = *source.Surface;
  static const LONG around[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
  for (const LONG* d : around) {
    LONG nx = x + d[0], ny = y + d[1];
    if (nx < source.Area.left || nx >= source.Area.right || ny < source.Area.top || ny >= source.Area.bottom) continue;
    const BYTE* row = static_cast<const BYTE*>(surface.pvScan0) + static_cast<LONG_PTR>(ny) * surface.lDelta;
    ULONG value = RawValue(surface, row, nx);
    if (value != source.Key) return value;
  }
  return source.Key;
}

// Row y of the area (0 = its top) as colour bytes (RGB, or grey) and alphas.
void ReadRow(SourceReader& reader, LONG y, bool grey, BYTE* colour, BYTE* alpha) {
  const ImageSource& source = *reader.Source;
  const SURFOBJ& surface = *source.Surface;
  const BYTE* row = static_cast<const BYTE*>(surface.pvScan0) +
                    static_cast<LONG_PTR>(source.Area.top + y) * surface.lDelta;
  LONG width = source.Area.right - source.Area.left;
  for (LONG i = 0; i < width; ++i) {
    ULONG value = RawValue(surface, row, source.Area.left + i);
    BYTE a = 255;
    ULONG c;
    if (source.Transparency == ImagePremultipliedAlpha) {
      a = static_cast<BYTE>(value >> 24);
      ULONG r = (value >> 16) & 255, g = (value >> 8) & 255, b = value & 255;
      if (r > a || g > a || b > a) reader.Exact = false;
      // PDF blends colours that are not premultiplied: divide back, rounding to nearest.
      if (a == 0) {
        r = g = b = 0;
      } else if (a < 255) {
        r = r >= a ? 255 : (r * 255 + a / 2) / a;
        g = g >= a ? 255 : (g * 255 + a / 2) / a;
        b = b >= a ? 255 : (b * 255 + a / 2) / a;
      }
      c = Translate(reader, (r << 16) | (g << 8) | b);
    } else {
      if (source.Transparency == ImageColourKey && value == source.Key) {
        a = 0;
        value = KeyedValue(source, source.Area.left + i, source.Area.top + y);
      }
      c = Translate(reader, value);
    }
    if (grey) {
      colour[i] = GreyOf(RedOf(c), GreenOf(c), BlueOf(c));
    } else {
      colour[3 * i] = RedOf(c);
      colour[3 * i + 1] = GreenOf(c);
      colour[3 * i + 2] = BlueOf(c);
    }
    alpha[i] = a;
  }
}

PdfImageEntry* Lookup(PdfImageCache* cache, const PixelHash& hash, LONG width, LONG height, bool grey) {
  if (!cache) return nullptr;
  for (DWORD i = 0; i < cache->Count; ++i) {
    PdfImageEntry& entry = cache->Entries[i];
    if (entry.Hash[0] == hash.A && entry.Hash[1] == hash.B && entry.Width == width && entry.Height == height &&
        entry.Grey == grey)
      return &entry;
  }
  return nullptr;
}

void Remember(PdfDocument& document, const PixelHash& hash, LONG width, LONG height, bool grey, DWORD id) {
  PdfImageCache*& cache = document.Images;
  if (!cache) {
    cache = static_cast<PdfImageCache*>(calloc(1, sizeof(PdfImageCache)));
    if (!cache) return;
  }
  if (!cache->Entries) {
    cache->Entries = static_cast<PdfImageEntry*>(malloc(MaxEntries * sizeof(PdfImageEntry)));
    if (!cache->Entries) return;
  }
  DWORD slot = cache->Count < MaxEntries ? cache->Count++ : cache->Next++ % MaxEntries;
  PdfImageEntry& entry = cache->Entries[slot];
  entry.Hash[0] = hash.A;
  entry.Hash[1] = hash.B;
  entry.Width = width;
  entry.Height = height;
  entry.Grey = grey;
  entry.Id = id;
}

// Where an image's rows come from: a source through its reader, or the page's BGR rows.
struct RowSource {
  SourceReader* Reader;
  const BYTE* FirstRow;
  LONG RowStride;
  LONG Width, Height;
};

void ProduceRow(const RowSource& rows, LONG y, bool grey, BYTE* colour, BYTE* alpha) {
  if (rows.Reader) {
    ReadRow(*rows.Reader, y, grey, colour, alpha);
    return;
  }
  const BYTE* bgr = rows.FirstRow + static_cast<LONG_PTR>(y) * rows.RowStride;
  for (LONG x = 0; x < rows.Width; ++x, bgr += 3) {
    if (grey) {
      colour[x] = GreyOf(bgr[2], bgr[1], bgr[0]);
    } else {
      colour[3 * x] = bgr[2];
      colour[3 * x + 1] = bgr[1];
      colour[3 * x + 2] = bgr[0];
    }
    alpha[x] = 255;
  }
}

bool WriteSamples(PdfDocument& document, DWORD id, const RowSource& rows, bool grey, bool alphaChannel, DWORD maskId,
                  BYTE* colour, BYTE* alpha) {
  int pixelBytes = alphaChannel || grey ? 1 : 3;
  size_t bytes = static_cast<size_t>(rows.Width) * pixelBytes;
  // The row before and the filtered row (its filter type first), for the PNG predictors.
  BYTE* previous = static_cast<BYTE*>(malloc(bytes));
  BYTE* filtered = static_cast<BYTE*>(malloc(bytes + 1));
  PdfBytes entries = {};
  PdfAppendText(entries, "/Type /XObject /Subtype /Image /Width ");
  PdfAppendInteger(entries, rows.Width);
  PdfAppendText(entries, " /Height ");
  PdfAppendInteger(entries, rows.Height);
  PdfAppendText(entries, pixelBytes == 1 ? " /ColorSpace /DeviceGray" : " /ColorSpace /DeviceRGB");
  PdfAppendText(entries, " /BitsPerComponent 8");
  if (maskId) {
    PdfAppendText(entries, " /SMask ");
    PdfAppendReference(entries, maskId);
  }
  PdfAppendText(entries, " /DecodeParms << /Predictor 15 /Colors ");
  PdfAppendInteger(entries, pixelBytes);
  PdfAppendText(entries, " /Columns ");
  PdfAppendInteger(entries, rows.Width);
  PdfAppendText(entries, " >>");
  bool written = previous && filtered && PdfBeginFlateStream(document, id, entries);
  PdfBytesFree(entries);
  for (LONG y = 0; y < rows.Height && written; ++y) {
    ProduceRow(rows, y, grey, colour, alpha);
    const BYTE* row = alphaChannel ? alpha : colour;
    PredictRow(row, y ? previous : nullptr, bytes, pixelBytes, filtered);
    written = PdfFlateStreamWrite(document, filtered, bytes + 1);
    memcpy(previous, row, bytes);
  }
  free(previous);
  free(filtered);
  return PdfEndFlateStream(document) && written;
}

DWORD WriteImage(PdfDocument& document, const RowSource& rows, bool grey, bool& exact) {
  if (document.Failed || rows.Width <= 0 || rows.Height <= 0) return 0;
  size_t width = static_cast<size_t>(rows.Width);
  BYTE* colour = static_cast<BYTE*>(malloc(width * 3));
  BYTE* alpha = static_cast<BYTE*>(malloc(width));
  if (!colour || !alpha) {
    free(colour);
    free(alpha);
    return 0;
  }
  // First the hash of the samples (and whether any pixel is not opaque), then, for a new image,
  // its samples again as they are written.
  PixelHash hash = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
  bool translucent = false;
  for (LONG y = 0; y < rows.Height; ++y) {
    ProduceRow(rows, y, grey, colour, alpha);
    Feed(hash, colour, width * (grey ? 1 : 3));
    for (size_t x = 0; x < width && !translucent; ++x) translucent = alpha[x] != 255;
    if (translucent) Feed(hash, alpha, width);
  }
  if (rows.Reader && !rows.Reader->Exact) exact = false;
  DWORD id = 0;
  if (PdfImageEntry* known = Lookup(document.Images, hash, rows.Width, rows.Height, grey)) {
    id = known->Id;
  } else {
    id = PdfNewObjectId(document);
    DWORD maskId = translucent ? PdfNewObjectId(document) : 0;
    bool written = id && (!translucent || maskId);
    if (written && maskId) written = WriteSamples(document, maskId, rows, grey, true, 0, colour, alpha);
    if (written) written = WriteSamples(document, id, rows, grey, false, maskId, colour, alpha);
    if (written)
      Remember(document, hash, rows.Width, rows.Height, grey, id);
    else
      id = 0;
  }
  free(colour);
  free(alpha);
  return id;
}

}  // namespace

DWORD PdfWriteSourceImage(PdfDocument& document, const EngineCalls& engine, const ImageSource& source, bool grey,
                          bool& exact) {
  SourceReader reader;
  if (!StartReader(reader, engine, source)) return 0;
  RowSource rows = {&reader, nullptr, 0, source.Area.right - source.Area.left, source.Area.bottom - source.Area.top};
  return WriteImage(document, rows, grey, exact);
}

DWORD PdfWritePixelImage(PdfDocument& document, const BYTE* firstRow, LONG rowStride, LONG width, LONG height,
                         bool grey) {
  RowSource rows = {nullptr, firstRow, rowStride, width, height};
  bool exact = true;
  return WriteImage(document, rows, grey, exact);
}

void PdfFreeImageCache(PdfImageCache* cache) {
  if (!cache) return;
  free(cache->Entries);
  free(cache);
}
