#include "peer_printer.h"

#include <winspool.h>

#include <stdio.h>

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

}  // namespace

bool EnsurePeerPrinter(const wchar_t* printerName, const wchar_t* ppdPath) {
  HANDLE existing = nullptr;
  if (OpenPrinterW(const_cast<LPWSTR>(printerName), &existing, nullptr)) {
    ClosePrinter(existing);
    return true;
  }
  DRIVER_INFO_3W driver = {};
  driver.cVersion = 3;
  driver.pName = const_cast<LPWSTR>(printerName);
  driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
  driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
  driver.pDataFile = const_cast<LPWSTR>(ppdPath);
  driver.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY) &&
      GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
    fprintf(stderr, "driver_bench: AddPrinterDriverExW for the peer failed (error %lu)\n", GetLastError());
    return false;
  }
  PRINTER_INFO_2W printer = {};
  printer.pPrinterName = const_cast<LPWSTR>(printerName);
  printer.pPortName = const_cast<LPWSTR>(L"FILE:");
  printer.pDriverName = const_cast<LPWSTR>(printerName);
  // "winprint" passes the driver's bytes on; a print processor of "wineps" drops the job.
  printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
  printer.pDatatype = const_cast<LPWSTR>(L"RAW");
  HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
  if (!added && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
    fprintf(stderr, "driver_bench: AddPrinterW for the peer failed (error %lu)\n", GetLastError());
    return false;
  }
  if (added) ClosePrinter(added);
  return true;
}

bool PrintThroughPeer(const wchar_t* printerName, const std::vector<HENHMETAFILE>& pages, const wchar_t* psPath,
                      PeerRun& run) {
  run = PeerRun{};
  DeleteFileW(psPath);
  double start = Now();
  HDC dc = CreateDCW(nullptr, printerName, nullptr, nullptr);
  if (!dc) {
    fprintf(stderr, "driver_bench: CreateDCW for the peer failed (error %lu)\n", GetLastError());
    return false;
  }
  // The device's printable area starts at its physical offset: the page goes over the whole paper.
  int offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX), offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
  RECT paper = {-offsetX, -offsetY, GetDeviceCaps(dc, PHYSICALWIDTH) - offsetX,
                GetDeviceCaps(dc, PHYSICALHEIGHT) - offsetY};
  DOCINFOW doc = {sizeof(doc), L"Benchmark", psPath, nullptr, 0};
  bool ok = StartDocW(dc, &doc) > 0;
  for (size_t i = 0; ok && i < pages.size(); ++i)
    ok = StartPage(dc) > 0 && PlayEnhMetaFile(dc, pages[i], &paper) && EndPage(dc) > 0;
  ok = (ok ? EndDoc(dc) > 0 : (AbortDoc(dc), false));
  DeleteDC(dc);
  run.Seconds = Now() - start;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (ok && GetFileAttributesExW(psPath, GetFileExInfoStandard, &data))
    run.Bytes = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (!ok || !run.Bytes) fprintf(stderr, "driver_bench: printing through the peer failed (error %lu)\n", GetLastError());
  return ok && run.Bytes;
}
