// emftool: the test bed's pages and their reference pictures.
//   emftool draw KIND WIDTH_MM HEIGHT_MM NUMBER OUT.emf   records a sample page (report, chart,
//                                                          photo, blank) as an EMF file
//   emftool raster PAGE.emf WIDTH HEIGHT OUT.ppm          plays the page into a 24-bit bitmap of
//                                                          WIDTH x HEIGHT pixels exactly as
//                                                          gdiplay plays it into the driver's
//                                                          surface, and writes it as a PPM (P6)
// Exit code 0, or 1 with a message.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <vector>

#include "engine_host.h"
#include "sample_pages.h"

namespace {

int Raster(const wchar_t* emfPath, LONG width, LONG height, const wchar_t* outPath) {
  HENHMETAFILE page = GetEnhMetaFileW(emfPath);
  if (!page || width <= 0 || height <= 0) return 1;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return 1;
  LONG stride = ((width * 3) + 3) & ~3;
  memset(bits, 0xFF, static_cast<size_t>(stride) * height);  // white paper, as DrvStartPage leaves it
  if (!PlayIntoBitmap(bitmap, page, width, height)) return 1;
  FILE* out = _wfopen(outPath, L"wb");
  if (!out) return 1;
  fprintf(out, "P6\n%ld %ld\n255\n", width, height);
  std::vector<BYTE> row(width * 3);
  for (LONG y = 0; y < height; ++y) {
    const BYTE* bgr = static_cast<const BYTE*>(bits) + static_cast<size_t>(y) * stride;
    for (LONG x = 0; x < width; ++x) {
      row[x * 3] = bgr[x * 3 + 2];
      row[x * 3 + 1] = bgr[x * 3 + 1];
      row[x * 3 + 2] = bgr[x * 3];
    }
    fwrite(row.data(), 1, row.size(), out);
  }
  bool written = fclose(out) == 0;
  DeleteObject(bitmap);
  DeleteEnhMetaFile(page);
  return written ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SamplePage kind;
  if (argc == 7 && wcscmp(argv[1], L"draw") == 0 && SamplePageByName(argv[2], kind)) {
    HENHMETAFILE page = RecordSamplePage(argv[6], kind, _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    if (!page) {
      fprintf(stderr, "emftool: recording failed (error %lu)\n", GetLastError());
      return 1;
    }
    DeleteEnhMetaFile(page);
    return 0;
  }
  if (argc == 6 && wcscmp(argv[1], L"raster") == 0) {
    int code = Raster(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), argv[5]);
    if (code) fprintf(stderr, "emftool: rasterising failed (error %lu)\n", GetLastError());
    return code;
  }
  fprintf(stderr, "usage: emftool draw report|chart|photo|blank WIDTH_MM HEIGHT_MM NUMBER OUT.emf\n"
                  "       emftool raster PAGE.emf WIDTH HEIGHT OUT.ppm\n");
  return 1;
}
