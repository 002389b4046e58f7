// The part of the graphics engine that a user-mode printer driver calls back, played by a test-bed
// program: its bitmaps are DIB sections, so that Wine's real GDI draws into them, and what the
// driver writes to the printer goes to a sink of the host's choice. The functions are exported
// from the executable, where the driver looks for them when gdi32 has none (Wine).
#pragma once
#include <windows.h>
#include <winddi.h>

// Where EngWritePrinter's bytes go: called with the handle the host gave DrvEnablePDEV.
typedef bool (*EngineSink)(HANDLE printer, const void* bytes, DWORD count);

struct EngineHost {
  HANDLE Printer;  // the only handle EngWritePrinter accepts
  EngineSink Sink;
  DHPDEV Device;   // what DrvEnablePDEV returned, for the surfaces associated with this host's HDEV
  ULONGLONG BytesWritten;
  DWORD WriteError;  // the first failed write's error, 0 when none failed
  // What EngCheckAbort answers: a test (or its sink) sets it to cancel the job, as the spooler
  // does when a user deletes it. AbortChecks counts the questions.
  bool Aborted;
  ULONG AbortChecks;
  // Bitmaps larger than this many bytes cannot be had (0: no limit), as in a process short of
  // address space; such a failure leaves the last error as it was.
  ULONGLONG BitmapLimit;
  const DRVENABLEDATA* Driver;  // the driver's function table, for the hooked drawing calls
  double StylePixels;           // device pixels per style unit of a cosmetic pen (GDIINFO), 0: one
};

EngineHost& Engine();
// The host's HDEV, as GDI would pass it.
HDEV EngineDevice();

// The engine's record of a surface the driver created, as the driver's calls receive it.
SURFOBJ* FindSurface(HSURF surface);
// Surfaces the driver created and has not deleted.
int LiveSurfaces();
// The drawing calls the driver hooked on the surface (EngAssociateSurface's flHooks).
FLONG SurfaceHooks(HSURF surface);
// Plays a page into the surface's bitmap as GDI plays a page into a printer DC: the metafile
// scaled to the printable area (the whole bitmap), record by record, each drawing record as the
// driver's hooked call where it hooks one (record_player.h).
bool PlayPage(HSURF surface, HENHMETAFILE page, int number);
// The same drawing into any 24-bit DIB section of that size (the test bed's reference).
bool PlayIntoBitmap(HBITMAP bitmap, HENHMETAFILE page, LONG width, LONG height);

// File sinks for hosts that write the document to a file handle.
bool WriteToFile(HANDLE file, const void* bytes, DWORD count);
