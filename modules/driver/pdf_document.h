// A PDF document written as it is made: the header when the document starts, every object as soon
// as it is complete (images while their page is drawn, a page's content and page object when the
// page is sent, fonts when the document ends), then the page tree, document information, catalogue
// and cross-reference table. Only the objects' offsets, a few numbers per page and what the text
// and image code keep for the whole document stay in memory.
#pragma once
#include <windows.h>

#include <zlib.h>

#include "pdf_syntax.h"

// The zlib level of every stream (the benchmark's baseline uses the same).
const int PdfDeflateLevel = Z_DEFAULT_COMPRESSION;

// Fixed object numbers: the page tree is every page object's /Parent.
const DWORD PdfCatalogId = 1, PdfPagesId = 2, PdfInfoId = 3;

// Writes bytes to wherever the document goes; false when they were not all written.
typedef bool (*PdfWriteBytes)(void* target, const BYTE* bytes, DWORD count);
// Asked while a page is written: true when the job was cancelled and writing should stop at once.
typedef bool (*PdfJobCancelled)(void* target);

// What the page tree and the copies need of a page written earlier: its copies are page objects
// of their own that share its resources and content.
struct PdfPageRecord {
  DWORD PageId;
  DWORD ResourcesId;  // 0 for a page without resources
  DWORD ContentId;    // 0 for a blank page
  double WidthPoints;
  double HeightPoints;
};

struct PdfDocumentFonts;  // the text code's record of the document's fonts
struct PdfImageCache;     // the images written so far, by the hash of their pixels (pdf_images.h)

struct PdfDocument {
  PdfWriteBytes Write;
  void* Target;
  BYTE* Buffer;  // output gathered into writes of BufferSize bytes
  DWORD Used;
  ULONGLONG Offset;          // bytes of the document so far
  ULONGLONG* ObjectOffsets;  // by object number; 0 for none yet
  DWORD ObjectCount;         // object numbers handed out, 1..ObjectCount
  DWORD ObjectCapacity;
  PdfPageRecord* Pages;
  DWORD PageCount;
  DWORD PageCapacity;
  WCHAR* Title;
  z_stream Deflate;
  bool DeflateReady;
  DWORD StreamLengthId;         // the open Flate stream's /Length object, 0 when none is open
  ULONGLONG StreamStart;        // where its data began
  bool Failed;  // a write failed or memory ran out: the document is lost
  PdfJobCancelled IsCancelled;  // asked before each write of the buffer; null: never asked
  bool Cancelled;               // IsCancelled said so: the document is lost too

  // The fonts: the text code sets these when a page first uses a font. WriteFonts runs once when
  // the document ends (before the page tree), FreeFonts when it is freed, finished or not.
  PdfDocumentFonts* Fonts;
  bool (*WriteFonts)(PdfDocument& document);
  void (*FreeFonts)(PdfDocumentFonts* fonts);
  PdfImageCache* Images;
  DWORD AlphaStates[256];  // the ExtGState of each constant alpha (/ca and /CA), 0 until written
};

// Starts a document (header written or buffered); null when memory runs out.
PdfDocument* PdfBeginDocument(PdfWriteBytes write, void* target, LPCWSTR title);
// Adds copies 2..copies of every page (collated: 1..N, 1..N; else 1, 1, 2, 2), each sharing its
// page's resources and content, writes the fonts, then the page tree, information, catalogue,
// cross-reference table and trailer; writes everything still buffered.
bool PdfEndDocument(PdfDocument& document, int copies, bool collate);
// Frees the document, finished or not.
void PdfFreeDocument(PdfDocument* document);
// Whether the job was cancelled (IsCancelled); a cancelled document has failed. Asked by the
// document before each write and by long loops that write little.
bool PdfJobWasCancelled(PdfDocument& document);

// An object number for an object written now or later (a font at the end of the document); 0 when
// memory ran out (the document has then failed).
DWORD PdfNewObjectId(PdfDocument& document);
// "N 0 obj\n", noting where object N starts; PdfEndObject writes "endobj\n".
void PdfBeginObject(PdfDocument& document, DWORD id);
void PdfEndObject(PdfDocument& document);
// Bytes of the object being written.
void PdfPut(PdfDocument& document, const void* bytes, size_t count);
void PdfPutText(PdfDocument& document, const char* text);
void PdfPutBytes(PdfDocument& document, const PdfBytes& bytes);

// A whole stream object: "<< entries /Length n >>" (with /Filter /FlateDecode when deflated) and the
// data. entries are dictionary entries without the brackets, or null.
bool PdfWriteStream(PdfDocument& document, DWORD id, const char* entries, const void* data, size_t count,
                    bool deflate);
// A Flate stream written as its data comes: begun with its dictionary entries (its /Length is an
// object written after it), fed any number of times, ended once. One stream is open at a time.
bool PdfBeginFlateStream(PdfDocument& document, DWORD id, const PdfBytes& entries);
bool PdfFlateStreamWrite(PdfDocument& document, const void* data, size_t count);
bool PdfEndFlateStream(PdfDocument& document);

// Writes the page object of a page whose resources and content were written, and keeps its record
// for the page tree.
bool PdfAddPage(PdfDocument& document, const PdfPageRecord& page);
