#include "pdf_document.h"

#include "pdf_images.h"

#include <stdlib.h>
#include <string.h>

namespace {

const DWORD BufferSize = 64 * 1024;

bool Flush(PdfDocument& document) {
  // A large page takes seconds: a cancelled job stops at the next 64 KiB instead.
  if (document.Used && !document.Failed) PdfJobWasCancelled(document);
  if (document.Used && !document.Failed && !document.Write(document.Target, document.Buffer, document.Used))
    document.Failed = true;
  document.Used = 0;
  return !document.Failed;
}

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

// Runs the deflater over `count` bytes (or finishes it) straight into the output buffer's free space.
bool Deflate(PdfDocument& document, const void* data, size_t count, bool finish) {
  z_stream& z = document.Deflate;
  z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  z.avail_in = static_cast<uInt>(count);
  int result = Z_OK;
  do {
    if (document.Used == BufferSize && !Flush(document)) return false;
    z.next_out = document.Buffer + document.Used;
    z.avail_out = BufferSize - document.Used;
    result = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
    DWORD produced = BufferSize - document.Used - z.avail_out;
    document.Used += produced;
    document.Offset += produced;
    if (result == Z_BUF_ERROR) result = Z_OK;  // no progress possible without more room: flush, go on
    if (result != Z_OK && result != Z_STREAM_END) return false;
  } while (z.avail_in || z.avail_out == 0 || (finish && result != Z_STREAM_END));
  return true;
}

void PutPageObject(PdfDocument& document, DWORD id, const PdfPageRecord& record) {
  PdfBeginObject(document, id);
  PdfBytes text = {};
  PdfAppendText(text, "<< /Type /Page /Parent ");
  PdfAppendReference(text, PdfPagesId);
  PdfAppendText(text, " /MediaBox [0 0 ");
  PdfAppendReal(text, record.WidthPoints);
  PdfAppendText(text, " ");
  PdfAppendReal(text, record.HeightPoints);
  PdfAppendText(text, "] /Resources ");
  if (record.ResourcesId)
    PdfAppendReference(text, record.ResourcesId);
  else
    PdfAppendText(text, "<< >>");
  if (record.ContentId) {
    PdfAppendText(text, " /Contents ");
    PdfAppendReference(text, record.ContentId);
  }
  PdfAppendText(text, " >>\n");
  if (text.Failed) document.Failed = true;
  PdfPutBytes(document, text);
  PdfBytesFree(text);
  PdfEndObject(document);
}

}  // namespace

void PdfPut(PdfDocument& document, const void* bytes, size_t count) {
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

void PdfPutText(PdfDocument& document, const char* text) { PdfPut(document, text, strlen(text)); }

void PdfPutBytes(PdfDocument& document, const PdfBytes& bytes) { PdfPut(document, bytes.Data, bytes.Length); }

DWORD PdfNewObjectId(PdfDocument& document) {
  if (!Reserve(document.ObjectOffsets, document.ObjectCapacity, document.ObjectCount + 2)) {
    document.Failed = true;
    return 0;
  }
  return ++document.ObjectCount;
}

void PdfBeginObject(PdfDocument& document, DWORD id) {
  if (id && id <= document.ObjectCount) document.ObjectOffsets[id] = document.Offset;
  // "N 0 obj\n" from the digits of N, right to left.
  char text[24];
  int start = sizeof(text) - 7;
  memcpy(text + start, " 0 obj\n", 7);
  DWORD value = id;
  do {
    text[--start] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  PdfPut(document, text + start, sizeof(text) - start);
}

void PdfEndObject(PdfDocument& document) { PdfPutText(document, "endobj\n"); }

bool PdfWriteStream(PdfDocument& document, DWORD id, const char* entries, const void* data, size_t count,
                    bool deflate) {
  if (document.Failed) return false;
  if (deflate) {
    PdfBytes dictionary = {};
    if (entries) PdfAppendText(dictionary, entries);
    bool written = !dictionary.Failed && PdfBeginFlateStream(document, id, dictionary) &&
                   PdfFlateStreamWrite(document, data, count) && PdfEndFlateStream(document);
    PdfBytesFree(dictionary);
    return written;
  }
  PdfBeginObject(document, id);
  PdfBytes head = {};
  PdfAppendText(head, "<< ");
  if (entries) {
    PdfAppendText(head, entries);
    PdfAppendText(head, " ");
  }
  PdfAppendText(head, "/Length ");
  PdfAppendInteger(head, static_cast<LONGLONG>(count));
  PdfAppendText(head, " >>\nstream\n");
  if (head.Failed) document.Failed = true;
  PdfPutBytes(document, head);
  PdfBytesFree(head);
  PdfPut(document, data, count);
  PdfPutText(document, "\nendstream\n");
  PdfEndObject(document);
  return !document.Failed;
}

bool PdfBeginFlateStream(PdfDocument& document, DWORD id, const PdfBytes& entries) {
  if (document.Failed || document.StreamLengthId) return false;
  DWORD lengthId = PdfNewObjectId(document);
  if (!lengthId || deflateReset(&document.Deflate) != Z_OK) {
    document.Failed = true;
    return false;
  }
  PdfBeginObject(document, id);
  PdfBytes head = {};
  PdfAppendText(head, "<< ");
  PdfAppend(head, entries.Data, entries.Length);
  if (entries.Length) PdfAppendText(head, " ");
  PdfAppendText(head, "/Filter /FlateDecode /Length ");
  PdfAppendReference(head, lengthId);
  PdfAppendText(head, " >>\nstream\n");
  if (head.Failed || entries.Failed) document.Failed = true;
  PdfPutBytes(document, head);
  PdfBytesFree(head);
  document.StreamLengthId = lengthId;
  document.StreamStart = document.Offset;
  return !document.Failed;
}

bool PdfFlateStreamWrite(PdfDocument& document, const void* data, size_t count) {
  if (document.Failed || !document.StreamLengthId) return false;
  if (!count) return true;
  if (!Deflate(document, data, count, false)) document.Failed = true;
  return !document.Failed;
}

bool PdfEndFlateStream(PdfDocument& document) {
  if (!document.StreamLengthId) return false;
  DWORD lengthId = document.StreamLengthId;
  document.StreamLengthId = 0;
  if (document.Failed) return false;
  if (!Deflate(document, nullptr, 0, true)) {
    document.Failed = true;
    return false;
  }
  ULONGLONG streamBytes = document.Offset - document.StreamStart;
  PdfPutText(document, "\nendstream\n");
  PdfEndObject(document);
  PdfBeginObject(document, lengthId);
  PdfBytes length = {};
  PdfAppendInteger(length, static_cast<LONGLONG>(streamBytes));
  PdfAppendText(length, "\n");
  PdfPutBytes(document, length);
  PdfBytesFree(length);
  PdfEndObject(document);
  return !document.Failed;
}

bool PdfAddPage(PdfDocument& document, const PdfPageRecord& page) {
  if (document.Failed) return false;
  if (!Reserve(document.Pages, document.PageCapacity, document.PageCount + 1)) {
    document.Failed = true;
    return false;
  }
  PutPageObject(document, page.PageId, page);
  if (document.Failed) return false;
  document.Pages[document.PageCount++] = page;
  return true;
}

PdfDocument* PdfBeginDocument(PdfWriteBytes write, void* target, LPCWSTR title) {
  PdfDocument* document = static_cast<PdfDocument*>(calloc(1, sizeof(PdfDocument)));
  if (!document) return nullptr;
  document->Write = write;
  document->Target = target;
  document->Buffer = static_cast<BYTE*>(malloc(BufferSize));
  size_t titleLength = title ? wcslen(title) : 0;
  if (titleLength > 32767) titleLength = 32767;
  document->Title = static_cast<WCHAR*>(calloc(titleLength + 1, sizeof(WCHAR)));
  bool ready = document->Buffer && document->Title && deflateInit(&document->Deflate, PdfDeflateLevel) == Z_OK;
  document->DeflateReady = ready;
  if (!ready) {
    PdfFreeDocument(document);
    return nullptr;
  }
  if (titleLength) memcpy(document->Title, title, titleLength * sizeof(WCHAR));
  document->ObjectCount = PdfInfoId;  // catalogue, page tree and information are written last
  if (!Reserve(document->ObjectOffsets, document->ObjectCapacity, 64)) {
    PdfFreeDocument(document);
    return nullptr;
  }
  // The second line's bytes above 127 mark the file as binary for programs that look.
  PdfPutText(*document, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  return document;
}

bool PdfEndDocument(PdfDocument& document, int copies, bool collate) {
  if (document.Failed) return false;
  if (document.WriteFonts && !document.WriteFonts(document)) document.Failed = true;
  if (document.Failed) return false;
  if (copies < 1) copies = 1;
  // Copies 2..copies of each page: one page object each, numbered on from here in the order
  // copy by copy, page by page, so that their numbers need not be kept.
  DWORD pages = document.PageCount;
  DWORD firstExtra = document.ObjectCount + 1;
  for (int copy = 1; copy < copies && !document.Failed; ++copy)
    for (DWORD page = 0; page < pages && !document.Failed; ++page) {
      DWORD id = PdfNewObjectId(document);
      PutPageObject(document, id, document.Pages[page]);
    }

  PdfBytes text = {};
  PdfBeginObject(document, PdfPagesId);
  PdfAppendText(text, "<< /Type /Pages /Count ");
  PdfAppendInteger(text, static_cast<LONGLONG>(pages) * copies);
  PdfAppendText(text, " /Kids [");
  for (int outer = 0; outer < (collate ? copies : static_cast<int>(pages)); ++outer)
    for (int inner = 0; inner < (collate ? static_cast<int>(pages) : copies); ++inner) {
      int copy = collate ? outer : inner, page = collate ? inner : outer;
      PdfAppendText(text, " ");
      PdfAppendReference(text, copy == 0 ? document.Pages[page].PageId : firstExtra + (copy - 1) * pages + page);
    }
  PdfAppendText(text, " ] >>\n");
  PdfPutBytes(document, text);
  PdfEndObject(document);

  // The title as a text string in UTF-16BE with its byte order mark, written in hex.
  PdfBeginObject(document, PdfInfoId);
  PdfBytesClear(text);
  PdfAppendText(text, "<< /Title <FEFF");
  static const char hex[] = "0123456789ABCDEF";
  for (const WCHAR* c = document.Title; *c; ++c) {
    char unit[4] = {hex[(*c >> 12) & 15], hex[(*c >> 8) & 15], hex[(*c >> 4) & 15], hex[*c & 15]};
    PdfAppend(text, unit, 4);
  }
  PdfAppendText(text, "> /Producer (Quillstack) /Creator (Quillstack printer) >>\n");
  PdfPutBytes(document, text);
  PdfEndObject(document);

  PdfBeginObject(document, PdfCatalogId);
  PdfBytesClear(text);
  PdfAppendText(text, "<< /Type /Catalog /Pages ");
  PdfAppendReference(text, PdfPagesId);
  PdfAppendText(text, " >>\n");
  PdfPutBytes(document, text);
  PdfEndObject(document);

  ULONGLONG xref = document.Offset;
  PdfBytesClear(text);
  PdfAppendText(text, "xref\n0 ");
  PdfAppendInteger(text, document.ObjectCount + 1);
  PdfAppendText(text, "\n0000000000 65535 f \n");
  PdfPutBytes(document, text);
  for (DWORD id = 1; id <= document.ObjectCount && !document.Failed; ++id) {
    // Ten digits of offset, zero-padded.
    char entry[21];
    ULONGLONG offset = document.ObjectOffsets[id];
    for (int digit = 9; digit >= 0; --digit, offset /= 10) entry[digit] = static_cast<char>('0' + offset % 10);
    memcpy(entry + 10, " 00000 n \n", 10);
    PdfPut(document, entry, 20);
  }
  PdfBytesClear(text);
  PdfAppendText(text, "trailer\n<< /Size ");
  PdfAppendInteger(text, document.ObjectCount + 1);
  PdfAppendText(text, " /Root ");
  PdfAppendReference(text, PdfCatalogId);
  PdfAppendText(text, " /Info ");
  PdfAppendReference(text, PdfInfoId);
  PdfAppendText(text, " >>\nstartxref\n");
  PdfAppendInteger(text, static_cast<LONGLONG>(xref));
  PdfAppendText(text, "\n%%EOF\n");
  PdfPutBytes(document, text);
  if (text.Failed) document.Failed = true;
  PdfBytesFree(text);
  return Flush(document);
}

void PdfFreeDocument(PdfDocument* document) {
  if (!document) return;
  if (document->FreeFonts) document->FreeFonts(document->Fonts);
  PdfFreeImageCache(document->Images);
  if (document->DeflateReady) deflateEnd(&document->Deflate);
  free(document->Buffer);
  free(document->ObjectOffsets);
  free(document->Pages);
  free(document->Title);
  free(document);
}

bool PdfJobWasCancelled(PdfDocument& document) {
  if (!document.Cancelled && document.IsCancelled && document.IsCancelled(document.Target))
    document.Cancelled = document.Failed = true;
  return document.Cancelled;
}
