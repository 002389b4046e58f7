#include "pdf_stream.h"

#include <stdlib.h>
#include <string.h>

namespace {

const DWORD BufferSize = 64 * 1024;
// Rows of a page image deflated between two questions whether the job was cancelled.
const LONG CancelCheckRows = 64;
// Fixed object numbers; pages and their parts follow from 4 on.
const DWORD CatalogId = 1, PagesId = 2, InfoId = 3;

bool Flush(PdfDocument& document) {
  if (document.Used && !document.Failed && !document.Write(document.Target, document.Buffer, document.Used))
    document.Failed = true;
  document.Used = 0;
  return !document.Failed;
}

void PutBytes(PdfDocument& document, const void* bytes, size_t count) {
  const BYTE* from = static_cast<const BYTE*>(bytes);
  document.Offset += count;
  while (count) {
    DWORD take = BufferSize - document.Used;
    if (take > count) take = static_cast<DWORD>(count);
    memcpy(document.Buffer + document.Used, from, take);
    document.Used += take;
    from += take;
    count -= take;
    if (document.Used == BufferSize) Flush(document);
  }
}

// A line of PDF syntax put together before it is written: numbers and lengths in points.
struct Text {
  char Bytes[512];
  int Length;
};

void Add(Text& text, const char* part) {
  while (*part && text.Length < static_cast<int>(sizeof(text.Bytes))) text.Bytes[text.Length++] = *part++;
}

void AddNumber(Text& text, ULONGLONG value, int digits = 1) {
  char reversed[24];
  int length = 0;
  do {
    reversed[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value || length < digits);
  while (length && text.Length < static_cast<int>(sizeof(text.Bytes))) text.Bytes[text.Length++] = reversed[--length];
}

// A length in points, to 1/10000 point, without trailing zeros.
void AddPoints(Text& text, double points) {
  if (points < 0) {
    Add(text, "-");
    points = -points;
  }
  ULONGLONG scaled = static_cast<ULONGLONG>(points * 10000.0 + 0.5);
  AddNumber(text, scaled / 10000);
  ULONGLONG fraction = scaled % 10000;
  if (!fraction) return;
  int digits = 4;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  Add(text, ".");
  AddNumber(text, fraction, digits);
}

void AddReference(Text& text, DWORD id) {
  AddNumber(text, id);
  Add(text, " 0 R");
}

void Put(PdfDocument& document, const Text& text) { PutBytes(document, text.Bytes, text.Length); }

void Put(PdfDocument& document, const char* part) { PutBytes(document, part, strlen(part)); }

// Grows a block of records to hold at least `needed`; false when memory runs out.
template <typename Record>
bool Reserve(Record*& block, DWORD& capacity, DWORD needed) {
  if (needed <= capacity) return true;
  DWORD grown = capacity ? capacity * 2 : 64;
  while (grown < needed) grown *= 2;
  Record* larger = static_cast<Record*>(realloc(block, grown * sizeof(Record)));
  if (!larger) return false;
  memset(larger + capacity, 0, (grown - capacity) * sizeof(Record));
  block = larger;
  capacity = grown;
  return true;
}

DWORD NewObjectId(PdfDocument& document) {
  if (!Reserve(document.ObjectOffsets, document.ObjectCapacity, document.ObjectCount + 2)) {
    document.Failed = true;
    return 0;
  }
  return ++document.ObjectCount;
}

void BeginObject(PdfDocument& document, DWORD id) {
  if (id && id <= document.ObjectCount) document.ObjectOffsets[id] = document.Offset;
  Text text = {};
  AddNumber(text, id);
  Add(text, " 0 obj\n");
  Put(document, text);
}

bool RowIsWhite(const BYTE* row, LONG bytes) {
  for (LONG i = 0; i < bytes; ++i)
    if (row[i] != 0xFF) return false;
  return true;
}

// BGR to RGB, or to grey with the usual luma weights (white stays 255).
void ConvertRow(const BYTE* bgr, LONG width, bool grey, BYTE* out) {
  if (grey) {
    for (LONG x = 0; x < width; ++x, bgr += 3)
      out[x] = static_cast<BYTE>((bgr[2] * 77 + bgr[1] * 150 + bgr[0] * 29 + 128) >> 8);
    return;
  }
  for (LONG x = 0; x < width; ++x, bgr += 3, out += 3) {
    out[0] = bgr[2];
    out[1] = bgr[1];
    out[2] = bgr[0];
  }
}

// Deflates `rows` rows from `first` into the output buffer, straight into its free space.
bool DeflateRows(PdfDocument& document, const PdfPagePixels& pixels, LONG first, LONG rows, bool grey,
                 ULONGLONG& streamBytes) {
  z_stream& z = document.Deflate;
  if (deflateReset(&z) != Z_OK) return false;
  LONG rowBytes = pixels.Width * (grey ? 1 : 3);
  BYTE* row = static_cast<BYTE*>(malloc(rowBytes));
  if (!row) return false;
  ULONGLONG start = document.Offset;
  int result = Z_OK;
  for (LONG y = first; y <= first + rows && result == Z_OK && !document.Failed; ++y) {
    // A large page takes seconds; a cancelled job stops within a few dozen rows.
    if ((y - first) % CancelCheckRows == 0 && document.IsCancelled && document.IsCancelled(document.Target)) {
      document.Cancelled = document.Failed = true;
      break;
    }
    bool last = y == first + rows;
    if (!last) {
      ConvertRow(pixels.FirstRow + static_cast<LONG_PTR>(y) * pixels.RowStride, pixels.Width, grey, row);
      z.next_in = row;
      z.avail_in = static_cast<uInt>(rowBytes);
    }
    do {
      if (document.Used == BufferSize) Flush(document);
      z.next_out = document.Buffer + document.Used;
      z.avail_out = BufferSize - document.Used;
      result = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      DWORD produced = BufferSize - document.Used - z.avail_out;
      document.Used += produced;
      document.Offset += produced;
    } while ((z.avail_out == 0 || (last && result == Z_OK)) && !document.Failed &&
             (result == Z_OK || result == Z_BUF_ERROR));
    if (result == Z_BUF_ERROR) result = Z_OK;  // no progress possible without more input: fine
  }
  free(row);
  streamBytes = document.Offset - start;
  return result == Z_STREAM_END && !document.Failed;
}

// A page object: its paper in points, and the image and content of its page unless it is blank.
void PutPageObject(PdfDocument& document, DWORD id, const PdfPageRecord& record) {
  BeginObject(document, id);
  Text text = {};
  Add(text, "<< /Type /Page /Parent ");
  AddReference(text, PagesId);
  Add(text, " /MediaBox [0 0 ");
  AddPoints(text, record.WidthPoints);
  Add(text, " ");
  AddPoints(text, record.HeightPoints);
  Add(text, "] /Resources << ");
  if (record.ImageId) {
    Add(text, "/XObject << /Im0 ");
    AddReference(text, record.ImageId);
    Add(text, " >> ");
  }
  Add(text, ">>");
  if (record.ContentId) {
    Add(text, " /Contents ");
    AddReference(text, record.ContentId);
  }
  Add(text, " >>\nendobj\n");
  Put(document, text);
}

}  // namespace

PdfDocument* PdfBeginDocument(PdfWriteBytes write, void* target, LPCWSTR title) {
  PdfDocument* document = static_cast<PdfDocument*>(calloc(1, sizeof(PdfDocument)));
  if (!document) return nullptr;
  document->Write = write;
  document->Target = target;
  document->Buffer = static_cast<BYTE*>(malloc(BufferSize));
  size_t titleLength = title ? wcslen(title) : 0;
  if (titleLength > 32767) titleLength = 32767;
  document->Title = static_cast<WCHAR*>(calloc(titleLength + 1, sizeof(WCHAR)));
  bool ready = document->Buffer && document->Title &&
               deflateInit(&document->Deflate, PdfDeflateLevel) == Z_OK;
  document->DeflateReady = ready;
  if (!ready) {
    PdfFreeDocument(document);
    return nullptr;
  }
  if (titleLength) memcpy(document->Title, title, titleLength * sizeof(WCHAR));
  document->ObjectCount = InfoId;  // catalogue, page tree and information are written last
  if (!Reserve(document->ObjectOffsets, document->ObjectCapacity, 64)) {
    PdfFreeDocument(document);
    return nullptr;
  }
  // The second line's bytes above 127 mark the file as binary for programs that look.
  Put(*document, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  return document;
}

bool PdfWritePage(PdfDocument& document, const PageGeometry& page, const PdfPagePixels& pixels) {
  if (document.Failed) return false;
  if (!Reserve(document.Pages, document.PageCapacity, document.PageCount + 1)) {
    document.Failed = true;
    return false;
  }
  PdfPageRecord& record = document.Pages[document.PageCount];
  record.WidthPoints = page.WidthPoints;
  record.HeightPoints = page.HeightPoints;

  // White rows above and below the drawing are left out: most pages have margins, and a page with
  // nothing on it needs no image at all.
  LONG rowBytes = pixels.Width * 3;
  LONG top = 0, bottom = pixels.Height;
  while (top < bottom && RowIsWhite(pixels.FirstRow + static_cast<LONG_PTR>(top) * pixels.RowStride, rowBytes)) ++top;
  while (bottom > top && RowIsWhite(pixels.FirstRow + static_cast<LONG_PTR>(bottom - 1) * pixels.RowStride, rowBytes))
    --bottom;

  if (bottom > top) {
    LONG rows = bottom - top;
    record.ImageId = NewObjectId(document);
    DWORD lengthId = NewObjectId(document);
    record.ContentId = NewObjectId(document);
    BeginObject(document, record.ImageId);
    Text text = {};
    Add(text, "<< /Type /XObject /Subtype /Image /Width ");
    AddNumber(text, pixels.Width);
    Add(text, " /Height ");
    AddNumber(text, rows);
    Add(text, page.Grey ? " /ColorSpace /DeviceGray" : " /ColorSpace /DeviceRGB");
    Add(text, " /BitsPerComponent 8 /Filter /FlateDecode /Length ");
    AddReference(text, lengthId);
    Add(text, " >>\nstream\n");
    Put(document, text);
    ULONGLONG streamBytes = 0;
    if (!DeflateRows(document, pixels, top, rows, page.Grey, streamBytes)) {
      document.Failed = true;
      return false;
    }
    Put(document, "\nendstream\nendobj\n");
    BeginObject(document, lengthId);
    text.Length = 0;
    AddNumber(text, streamBytes);
    Add(text, "\nendobj\n");
    Put(document, text);

    // One device pixel is 72/dpi points, so the image keeps the surface's pixel grid: it starts
    // at the page's left edge, its first row where the first row that is not white was. It is
    // drawn a thousandth of a point narrower and shorter (its top edge stays): renderers that
    // round an image's far edges up (poppler: floor + 1) then keep it at its own size in pixels
    // at the job's resolution, instead of stretching it by one pixel and blurring it.
    double pixel = 72.0 / page.Dpi;
    const double hair = 0.001;
    Text content = {};
    Add(content, "q ");
    AddPoints(content, pixels.Width * pixel - hair);
    Add(content, " 0 0 ");
    AddPoints(content, rows * pixel - hair);
    Add(content, " 0 ");
    AddPoints(content, page.HeightPoints - bottom * pixel + hair);
    Add(content, " cm /Im0 Do Q\n");
    BeginObject(document, record.ContentId);
    text.Length = 0;
    Add(text, "<< /Length ");
    AddNumber(text, content.Length);
    Add(text, " >>\nstream\n");
    Put(document, text);
    Put(document, content);
    Put(document, "endstream\nendobj\n");
  }
  record.PageId = NewObjectId(document);
  PutPageObject(document, record.PageId, record);
  if (document.Failed) return false;
  ++document.PageCount;
  return true;
}

bool PdfEndDocument(PdfDocument& document, int copies, bool collate) {
  if (document.Failed) return false;
  if (copies < 1) copies = 1;
  // Copies 2..copies of each page: one page object each, numbered on from here in the order
  // copy by copy, page by page, so that their numbers need not be kept.
  DWORD pages = document.PageCount;
  DWORD firstExtra = document.ObjectCount + 1;
  for (int copy = 1; copy < copies && !document.Failed; ++copy)
    for (DWORD page = 0; page < pages && !document.Failed; ++page) {
      DWORD id = NewObjectId(document);
      PutPageObject(document, id, document.Pages[page]);
    }

  BeginObject(document, PagesId);
  Text text = {};
  Add(text, "<< /Type /Pages /Count ");
  AddNumber(text, static_cast<ULONGLONG>(pages) * copies);
  Add(text, " /Kids [");
  Put(document, text);
  for (int outer = 0; outer < (collate ? copies : static_cast<int>(pages)); ++outer)
    for (int inner = 0; inner < (collate ? static_cast<int>(pages) : copies); ++inner) {
      int copy = collate ? outer : inner, page = collate ? inner : outer;
      text.Length = 0;
      Add(text, " ");
      AddReference(text, copy == 0 ? document.Pages[page].PageId : firstExtra + (copy - 1) * pages + page);
      Put(document, text);
    }
  Put(document, " ] >>\nendobj\n");

  // The title as a text string in UTF-16BE with its byte order mark, written in hex.
  BeginObject(document, InfoId);
  Put(document, "<< /Title <FEFF");
  static const char hex[] = "0123456789ABCDEF";
  for (const WCHAR* c = document.Title; *c; ++c) {
    char unit[4] = {hex[(*c >> 12) & 15], hex[(*c >> 8) & 15], hex[(*c >> 4) & 15], hex[*c & 15]};
    PutBytes(document, unit, 4);
  }
  Put(document, "> /Producer (Quillstack) /Creator (Quillstack printer) >>\nendobj\n");

  BeginObject(document, CatalogId);
  text.Length = 0;
  Add(text, "<< /Type /Catalog /Pages ");
  AddReference(text, PagesId);
  Add(text, " >>\nendobj\n");
  Put(document, text);

  ULONGLONG xref = document.Offset;
  text.Length = 0;
  Add(text, "xref\n0 ");
  AddNumber(text, document.ObjectCount + 1);
  Add(text, "\n0000000000 65535 f \n");
  Put(document, text);
  for (DWORD id = 1; id <= document.ObjectCount; ++id) {
    text.Length = 0;
    AddNumber(text, document.ObjectOffsets[id], 10);
    Add(text, " 00000 n \n");
    Put(document, text);
  }
  text.Length = 0;
  Add(text, "trailer\n<< /Size ");
  AddNumber(text, document.ObjectCount + 1);
  Add(text, " /Root ");
  AddReference(text, CatalogId);
  Add(text, " /Info ");
  AddReference(text, InfoId);
  Add(text, " >>\nstartxref\n");
  AddNumber(text, xref);
  Add(text, "\n%%EOF\n");
  Put(document, text);
  return Flush(document);
}

void PdfFreeDocument(PdfDocument* document) {
  if (!document) return;
  if (document->DeflateReady) deflateEnd(&document->Deflate);
  free(document->Buffer);
  free(document->ObjectOffsets);
  free(document->Pages);
  free(document->Title);
  free(document);
}
