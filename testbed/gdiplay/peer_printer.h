// The PDF printer built the usual way, as driver_bench's peer: Wine's own PostScript driver
// (wineps.drv) with a PPD that asks for Type 42 fonts (peer/peer.ppd), printing to a file through
// Wine's spooler; Ghostscript's ps2pdf then makes the PDF (testbed/driver-bench.sh). Needs a plain
// prefix: the spooler stand-in knows no wineps.drv.
#pragma once
#include <windows.h>

#include <vector>

// Adds the driver (from the PPD at ppdPath) and a printer of it on "FILE:", unless there.
bool EnsurePeerPrinter(const wchar_t* printerName, const wchar_t* ppdPath);

struct PeerRun {
  double Seconds;   // StartDoc to EndDoc: GDI playing the pages into the PostScript driver
  ULONGLONG Bytes;  // of the PostScript file
};
// Prints the pages (each scaled to the whole A4 paper, as gdiplay does) into the file psPath.
bool PrintThroughPeer(const wchar_t* printerName, const std::vector<HENHMETAFILE>& pages, const wchar_t* psPath,
                      PeerRun& run);
