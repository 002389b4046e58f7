// A PDF document written as it is made: the header when the document starts, each page (its image,
// content and page object) when the page is sent, the page tree, document information, catalogue
// and cross-reference table at the end. Only the objects' offsets and a few numbers per page stay
// in memory, so a document of any length needs the same memory.
#pragma once
#include <windows.h>

#include <zlib.h>

#include "job_settings.h"

// The zlib level of the page images (the benchmark's baseline uses the same).
const int PdfDeflateLevel = Z_DEFAULT_COMPRESSION;

// Writes bytes to wherever the document goes; false when they were not all written.
typedef bool (*PdfWriteBytes)(void* target, const BYTE* bytes, DWORD count);

// Asked while a page is written: true when the job was cancelled and writing should stop at once.
typedef bool (*PdfJobCancelled)(void* target);

// What the page tree needs of a page written earlier.
struct PdfPageRecord {
  DWORD PageId;
  DWORD ImageId;    // 0 for a blank page (no image)
  DWORD ContentId;  // 0 for a blank page
  double WidthPoints;
  double HeightPoints;
};

struct PdfDocument {
  PdfWriteBytes Write;
  void* Target;
  BYTE* Buffer;  // output gathered into writes of BufferSize bytes
  DWORD Used;
  ULONGLONG Offset;        // bytes of the document so far
  ULONGLONG* ObjectOffsets;  // by object number; 0 for none yet
  DWORD ObjectCount;         // object numbers handed out, 1..ObjectCount
  DWORD ObjectCapacity;
  PdfPageRecord* Pages;
  DWORD PageCount;
  DWORD PageCapacity;
  WCHAR* Title;
  z_stream Deflate;
  bool DeflateReady;
  bool Failed;  // a write failed or memory ran out: the document is lost
  PdfJobCancelled IsCancelled;  // null: never asked
  bool Cancelled;               // IsCancelled said so: the document is lost too
};

// A page's pixels as the engine's surface holds them: 24-bit BGR rows, lDelta bytes apart.
struct PdfPagePixels {
  const BYTE* FirstRow;
  LONG RowStride;
  LONG Width;
  LONG Height;
};

// Starts a document (header written or buffered); null when memory runs out.
PdfDocument* PdfBeginDocument(PdfWriteBytes write, void* target, LPCWSTR title);
// Writes one page: the image in colour or grey with white rows above and below left out, placed at
// the page's resolution from its top-left corner, on a page of the paper's size in points.
bool PdfWritePage(PdfDocument& document, const PageGeometry& page, const PdfPagePixels& pixels);
// Adds copies 2..copies of every page (collated: 1..N, 1..N; else 1, 1, 2, 2), each sharing its
// page's image and content, then the page tree, information, catalogue, cross-reference table
// and trailer; writes everything still buffered.
bool PdfEndDocument(PdfDocument& document, int copies, bool collate);
// Frees the document, finished or not.
void PdfFreeDocument(PdfDocument* document);
