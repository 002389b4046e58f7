// One device: a printer DC's settings, its surface and, between DrvStartDoc and DrvEndDoc, the
// document being written. ResetDC hands the document on to the device that replaces this one.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"
#include "hatch_patterns.h"
#include "job_settings.h"
#include "page_recording.h"
#include "pdf_document.h"

struct PrinterDevice {
  EngineCalls Engine;
  JobSettings Settings;
  PageGeometry Page;
  HANDLE Printer;  // hDriver: where EngWritePrinter sends the document
  HDEV EngineDevice;
  HPALETTE Palette;
  HSURF Surface;
  PdfDocument* Document;
  DWORD JobId;             // the spooler's job the document belongs to
  bool DocumentFromReset;  // Document came from the device ResetDC replaced
  SURFOBJ* PageSurface;    // during DrvSendPage: what EngCheckAbort is asked about
  HatchPatterns Patterns;  // GDI's hatch brushes, at a pitch that reads on paper
  FLONG Hooks;  // the drawing calls the surface hooks; 0 for the page as an image
  PageRecording* Recording;  // the page being drawn (document content only), kept for the next page
  bool PageStarted;          // between DrvStartPage and DrvSendPage
};

inline PrinterDevice* DeviceOf(DHPDEV dhpdev) { return reinterpret_cast<PrinterDevice*>(dhpdev); }
inline PrinterDevice* DeviceOf(SURFOBJ* pso) { return pso ? DeviceOf(pso->dhpdev) : nullptr; }

// The page a drawing call on `pso` goes into: null unless `pso` is the device's own surface, its
// content is recorded (document content) and a page is being drawn.
inline PageRecording* RecordingOf(SURFOBJ* pso) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Surface || pso->hsurf != device->Surface || !device->PageStarted) return nullptr;
  PageRecording* page = device->Recording;
  return page && !page->Failed ? page : nullptr;
}
