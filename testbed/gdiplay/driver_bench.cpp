// driver_bench: pages per second of the printer driver against zlib alone. It prints 50 (or
// argv[1]) A4 pages at 300 dpi with text, lines and a photograph through vtxdrv64.dll, once in
// colour and once in grey, and in the same run deflates each page's raw bytes (24-bit, or 8-bit
// grey) at the driver's zlib level: the baseline. Only the driver's calls (DrvStartPage,
// DrvSendPage, DrvEndDoc) and the baseline's deflate are timed, not GDI's drawing. The driver's
// bytes are counted and dropped. It also reports the process's peak working set and private
// bytes after the fifth page and after the last: they must not grow with the number of pages.
#include <windows.h>
#include <psapi.h>
#include <winddi.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include <zlib.h>

#include "driver_host.h"
#include "engine_host.h"
#include "pdf_document.h"
#include "sample_pages.h"

namespace {

bool Discard(HANDLE, const void*, DWORD) { return true; }

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

struct Memory {
  double PeakWorkingSetMiB, PrivateMiB;
};
Memory MemoryNow() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return {counters.PeakWorkingSetSize / 1048576.0, counters.PagefileUsage / 1048576.0};
}

// zlib alone on one page's raw bytes, at the driver's level, into a scratch buffer.
ULONGLONG DeflatePage(const BYTE* bytes, size_t count, std::vector<BYTE>& scratch) {
  z_stream z = {};
  deflateInit(&z, PdfDeflateLevel);
  z.next_in = const_cast<BYTE*>(bytes);
  z.avail_in = static_cast<uInt>(count);
  ULONGLONG produced = 0;
  int result;
  do {
    z.next_out = scratch.data();
    z.avail_out = static_cast<uInt>(scratch.size());
    result = deflate(&z, Z_FINISH);
    produced += scratch.size() - z.avail_out;
  } while (result == Z_OK);
  deflateEnd(&z);
  return produced;
}

struct Run {
  double DriverSeconds, BaselineSeconds;
  ULONGLONG DriverBytes, BaselineBytes;
  Memory AfterFifth, AfterLast;
};

bool PrintPages(const DriverTable& driver, const std::vector<HENHMETAFILE>& pages, bool grey, Run& run) {
  DEVMODEW dm;
  FillDevMode(dm, L"Quillstack", DMPAPER_A4, false, 300, grey, 1, true);
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  Engine().Printer = reinterpret_cast<HANDLE>(&run);
  Engine().Sink = Discard;
  Engine().BytesWritten = 0;
  DHPDEV device = driver.EnablePDEV(&dm, nullptr, 0, nullptr, sizeof(gdiInfo), &gdiInfo, sizeof(devInfo), &devInfo,
                                    EngineDevice(), const_cast<LPWSTR>(L"Quillstack"), Engine().Printer);
  if (!device) return false;
  Engine().Device = device;
  driver.CompletePDEV(device, EngineDevice());
  HSURF surface = driver.EnableSurface(device);
  SURFOBJ* so = FindSurface(surface);
  if (!so || !driver.StartDoc(so, const_cast<LPWSTR>(L"Benchmark"), 1)) return false;
  LONG width = so->sizlBitmap.cx, height = so->sizlBitmap.cy;
  std::vector<BYTE> raw(static_cast<size_t>(width) * height * 3), scratch(64 * 1024);
  run = Run{};
  bool ok = true;
  for (size_t i = 0; i < pages.size() && ok; ++i) {
    LARGE_INTEGER t0, t1, t2, t3;
    QueryPerformanceCounter(&t0);
    ok = driver.StartPage(so);
    QueryPerformanceCounter(&t1);
    ok = ok && PlayPage(surface, pages[i]);
    // The baseline's input: the page's rows as they are (colour) or as 8-bit grey.
    size_t count = 0;
    for (LONG y = 0; y < height; ++y) {
      const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<LONG_PTR>(y) * so->lDelta;
      if (!grey) {
        memcpy(&raw[count], row, width * 3);
        count += width * 3;
      } else {
        for (LONG x = 0; x < width; ++x, row += 3) raw[count++] = static_cast<BYTE>((row[2] * 77 + row[1] * 150 + row[0] * 29 + 128) >> 8);
      }
    }
    QueryPerformanceCounter(&t2);
    run.BaselineBytes += DeflatePage(raw.data(), count, scratch);
    QueryPerformanceCounter(&t3);
    run.BaselineSeconds += Seconds(t2, t3);
    LARGE_INTEGER t4, t5;
    QueryPerformanceCounter(&t4);
    ok = ok && driver.SendPage(so);
    QueryPerformanceCounter(&t5);
    run.DriverSeconds += Seconds(t0, t1) + Seconds(t4, t5);
    if (i == 4) run.AfterFifth = MemoryNow();
  }
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  ok = driver.EndDoc(so, ok ? 0 : ED_ABORTDOC) && ok;
  QueryPerformanceCounter(&t1);
  run.DriverSeconds += Seconds(t0, t1);
  run.DriverBytes = Engine().BytesWritten;
  run.AfterLast = MemoryNow();
  driver.DisableSurface(device);
  driver.DisablePDEV(device);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int count = argc > 1 ? _wtoi(argv[1]) : 50;
  if (count < 5) count = 5;
  WCHAR path[MAX_PATH];
  BesideProgram(L"vtxdrv64.dll", path, MAX_PATH);
  DriverTable driver;
  const char* failure = "";
  if (!LoadDriver(path, driver, failure)) {
    fprintf(stderr, "driver_bench: %s failed (error %lu)\n", failure, GetLastError());
    return 1;
  }
  std::vector<HENHMETAFILE> pages;
  for (int i = 0; i < count; ++i) pages.push_back(RecordSamplePage(nullptr, SamplePage::Report, 210, 297, i + 1));
  printf("%d A4 pages at 300 dpi (2480 x 3508 pixels): text, lines, fills and a photograph; zlib level %d\n", count,
         PdfDeflateLevel);
  printf("%-7s %12s %14s %7s %12s %12s %22s %22s\n", "", "driver", "zlib baseline", "ratio", "PDF", "zlib alone",
         "peak WS after 5 / last", "private after 5 / last");
  int code = 0;
  for (bool grey : {false, true}) {
    Run run;
    if (!PrintPages(driver, pages, grey, run)) {
      fprintf(stderr, "driver_bench: the driver refused a call\n");
      code = 1;
      continue;
    }
    double driverRate = count / run.DriverSeconds, baselineRate = count / run.BaselineSeconds;
    printf("%-7s %8.1f p/s %10.1f p/s %7.2f %9.1f MiB %8.1f MiB %10.1f / %5.1f MiB %10.1f / %5.1f MiB\n",
           grey ? "grey" : "colour", driverRate, baselineRate, driverRate / baselineRate, run.DriverBytes / 1048576.0,
           run.BaselineBytes / 1048576.0, run.AfterFifth.PeakWorkingSetMiB, run.AfterLast.PeakWorkingSetMiB,
           run.AfterFifth.PrivateMiB, run.AfterLast.PrivateMiB);
  }
  for (HENHMETAFILE page : pages) DeleteEnhMetaFile(page);
  return code;
}
