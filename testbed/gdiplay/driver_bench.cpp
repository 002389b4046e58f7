// driver_bench: bytes per page and pages per second of the printer driver, in both settings,
// against the PDF printer built the usual way. It prints N (argv[1], default 30) A4 pages at
// 300 dpi, the ten-page office report over and over (a heading, forty lines of body text, a ruled
// table, a photograph on every third page), through vtxdrv64.dll with "Text and graphics as
// document content" and with "Each page as an image". Timed are the driver's page calls with
// the engine playing each page into its surface (DrvStartPage, the page's drawing, DrvSendPage)
// and DrvEndDoc; the driver's bytes are counted and dropped. The process's peak working set and
// private bytes are taken after the fifth page and after the last: they must not grow with the
// page count. With --peer OUT.ps it prints the same pages through Wine's PostScript driver into
// OUT.ps (the peer's first half; testbed/driver-bench.sh times ps2pdf, the second half, and runs
// this in a prefix with Wine's own spooler).
//   driver_bench [PAGES] [--peer OUT.ps PPD]
#include <windows.h>
#include <psapi.h>
#include <winddi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <vector>

#include "driver_host.h"
#include "engine_host.h"
#include "job_settings.h"
#include "peer_printer.h"
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

struct Run {
  double Seconds;
  ULONGLONG Bytes;
  ULONGLONG TextPageBytes, TextPages;  // written during the pages without a photograph
  ULONGLONG EndBytes;                  // written by DrvEndDoc: fonts, page tree, trailer
  Memory AfterFifth, AfterLast;
};

// The job's DEVMODE with the private part that chooses the page content, as the driver's own
// configuration module writes it.
void FillSettings(JobSettings& settings, DWORD pageContent) {
  ZeroMemory(&settings, sizeof(settings));
  FillDevMode(settings.Public, L"Quillstack", DMPAPER_A4, false, 300, false, 1, true);
  settings.Public.dmDriverVersion = JobSettingsDriverVersion;
  settings.Public.dmDriverExtra = sizeof(PrivateSettings);
  settings.Private.Signature = PrivateSettingsSignature;
  settings.Private.Version = PrivateSettingsVersion;
  settings.Private.Size = sizeof(PrivateSettings);
  settings.Private.PageContent = pageContent;
}

bool PrintPages(const DriverTable& driver, const std::vector<HENHMETAFILE>& pages, DWORD pageContent, Run& run) {
  JobSettings settings;
  FillSettings(settings, pageContent);
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  Engine().Printer = reinterpret_cast<HANDLE>(&run);
  Engine().Sink = Discard;
  Engine().BytesWritten = 0;
  Engine().Driver = &driver.Data;  // the hooked drawing calls are the driver's
  DHPDEV device = driver.EnablePDEV(&settings.Public, nullptr, 0, nullptr, sizeof(gdiInfo), &gdiInfo, sizeof(devInfo),
                                    &devInfo, EngineDevice(), const_cast<LPWSTR>(L"Quillstack"), Engine().Printer);
  if (!device) return false;
  Engine().Device = device;
  driver.CompletePDEV(device, EngineDevice());
  HSURF surface = driver.EnableSurface(device);
  SURFOBJ* so = FindSurface(surface);
  if (!so || !driver.StartDoc(so, const_cast<LPWSTR>(L"Benchmark"), 1)) return false;
  run = Run{};
  bool ok = true;
  for (size_t i = 0; i < pages.size() && ok; ++i) {
    LARGE_INTEGER t0, t1;
    ULONGLONG before = Engine().BytesWritten;
    QueryPerformanceCounter(&t0);
    ok = driver.StartPage(so) && PlayPage(surface, pages[i], static_cast<int>(i + 1)) && driver.SendPage(so);
    QueryPerformanceCounter(&t1);
    run.Seconds += Seconds(t0, t1);
    if ((i % 10 + 1) % 3 != 0) {  // the report's pages 3, 6 and 9 carry the photograph
      run.TextPageBytes += Engine().BytesWritten - before;
      ++run.TextPages;
    }
    if (i == 4) run.AfterFifth = MemoryNow();
  }
  LARGE_INTEGER t0, t1;
  ULONGLONG beforeEnd = Engine().BytesWritten;
  QueryPerformanceCounter(&t0);
  ok = driver.EndDoc(so, ok ? 0 : ED_ABORTDOC) && ok;
  run.EndBytes = Engine().BytesWritten - beforeEnd;
  QueryPerformanceCounter(&t1);
  run.Seconds += Seconds(t0, t1);
  run.Bytes = Engine().BytesWritten;
  run.AfterLast = MemoryNow();
  driver.DisableSurface(device);
  driver.DisablePDEV(device);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int count = 30;
  const wchar_t* peerOut = nullptr;
  const wchar_t* ppd = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--peer") == 0 && i + 2 < argc) {
      peerOut = argv[++i];
      ppd = argv[++i];
    } else {
      count = _wtoi(argv[i]);
    }
  }
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
  for (int i = 0; i < count; ++i) pages.push_back(RecordSamplePage(nullptr, SamplePage::Office, 210, 297, i % 10 + 1));
  printf("%d A4 pages at 300 dpi: the ten-page office report (text, ruled tables, a photograph on every third page)\n",
         count);
  printf("%-22s %12s %14s %12s %26s %26s\n", "", "pages/s", "bytes/page", "total", "peak WS after 5 / last",
         "private after 5 / last");
  int code = 0;
  static const struct {
    const char* Name;
    DWORD Content;
  } settings[] = {{"document content", PageContentDocument}, {"each page an image", PageContentImage}};
  for (const auto& setting : settings) {
    Run run;
    if (!PrintPages(driver, pages, setting.Content, run)) {
      fprintf(stderr, "driver_bench: the driver refused a call (%s)\n", setting.Name);
      code = 1;
      continue;
    }
    printf("%-22s %12.2f %14.0f %8.2f MiB %12.1f / %7.1f MiB %12.1f / %7.1f MiB\n", setting.Name,
           count / run.Seconds, static_cast<double>(run.Bytes) / count, run.Bytes / 1048576.0,
           run.AfterFifth.PeakWorkingSetMiB, run.AfterLast.PeakWorkingSetMiB, run.AfterFifth.PrivateMiB,
           run.AfterLast.PrivateMiB);
    printf("%-22s %12s %14.0f   (pages without a photograph, as written; %.0f bytes at the end)\n", "", "",
           run.TextPages ? static_cast<double>(run.TextPageBytes) / run.TextPages : 0.0, static_cast<double>(run.EndBytes));
  }
  if (peerOut) {
    const wchar_t* name = L"Quillstack PostScript peer";
    PeerRun peer;
    if (!EnsurePeerPrinter(name, ppd) || !PrintThroughPeer(name, pages, peerOut, peer)) {
      code = 1;
    } else {
      // The PostScript half; the script adds ps2pdf's time and the PDF's bytes.
      printf("%-22s %12.2f %14.0f %8.2f MiB  (PostScript: seconds %.3f)\n", "peer, wineps.drv", count / peer.Seconds,
             static_cast<double>(peer.Bytes) / count, peer.Bytes / 1048576.0, peer.Seconds);
    }
  }
  fflush(stdout);
  for (HENHMETAFILE page : pages) DeleteEnhMetaFile(page);
  return code;
}
