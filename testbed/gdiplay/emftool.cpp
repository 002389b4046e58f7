// emftool: the test bed's pages and their reference pictures.
//   emftool [--font FILE]... [--text OUT.txt] draw KIND WIDTH_MM HEIGHT_MM NUMBER OUT.emf
//                                                          records a sample page (sample_pages.h
//                                                          names the kinds) as an EMF file;
//                                                          --text writes the text drawn, one
//                                                          piece a line in reading order (UTF-8)
//   emftool [--font FILE]... raster PAGE.emf WIDTH HEIGHT OUT.ppm
//                                                          plays the page into a 24-bit bitmap of
//                                                          WIDTH x HEIGHT pixels with Wine's GDI
//                                                          as an application's GDI draws it,
//                                                          the reference of the driver's checks,
//                                                          and writes it as a PPM (P6)
// Exit code 0, or 1 with a message.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "engine_host.h"
#include "record_player.h"
#include "sample_drawing.h"
#include "sample_pages.h"

namespace {

// Every record drawn as gdiplay draws a record it does not hand to the driver (Wine's player, and
// the test bed's own drawing of EMR_TRANSPARENTBLT, which Wine 8 leaves undrawn).
int CALLBACK PlayReferenceRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  PlayRecordStraight(dc, table, record, handles);
  return 1;
}

bool PlayReference(HBITMAP bitmap, HENHMETAFILE page, LONG width, LONG height) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT area = {0, 0, width, height};
  bool played = old && EnumEnhMetaFile(dc, page, PlayReferenceRecord, nullptr, &area);
  GdiFlush();
  if (old) SelectObject(dc, old);
  DeleteDC(dc);
  return played;
}

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
  if (!PlayReference(bitmap, page, width, height)) return 1;
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

bool WriteTextLog(const wchar_t* path, const std::vector<std::wstring>& log) {
  FILE* out = _wfopen(path, L"wb");
  if (!out) return false;
  for (const std::wstring& text : log) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    fprintf(out, "%s\n", utf8.c_str());
  }
  return fclose(out) == 0;
}

int Usage() {
  fwprintf(stderr, L"usage: emftool [--font FILE]... [--text OUT.txt] draw %ls WIDTH_MM HEIGHT_MM NUMBER OUT.emf\n"
                   L"       emftool [--font FILE]... raster PAGE.emf WIDTH HEIGHT OUT.ppm\n",
           SamplePageNames());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Options first: fonts private to this process (as gdiplay adds them), and the text log.
  const wchar_t* textPath = nullptr;
  int first = 1;
  while (first + 1 < argc && argv[first][0] == L'-') {
    if (wcscmp(argv[first], L"--font") == 0) {
      if (AddFontResourceExW(argv[first + 1], FR_PRIVATE, nullptr) == 0) {
        fwprintf(stderr, L"emftool: the font %ls could not be added (error %lu)\n", argv[first + 1], GetLastError());
        return 1;
      }
    } else if (wcscmp(argv[first], L"--text") == 0) {
      textPath = argv[first + 1];
    } else {
      return Usage();
    }
    first += 2;
  }
  argc -= first - 1;
  argv += first - 1;
  SamplePage kind;
  if (argc == 7 && wcscmp(argv[1], L"draw") == 0 && SamplePageByName(argv[2], kind)) {
    std::vector<std::wstring> log;
    SetTextLog(&log);
    HENHMETAFILE page = RecordSamplePage(argv[6], kind, _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    SetTextLog(nullptr);
    if (!page) {
      fprintf(stderr, "emftool: recording failed (error %lu)\n", GetLastError());
      return 1;
    }
    DeleteEnhMetaFile(page);
    if (textPath && !WriteTextLog(textPath, log)) {
      fwprintf(stderr, L"emftool: cannot write %ls\n", textPath);
      return 1;
    }
    return 0;
  }
  if (argc == 6 && wcscmp(argv[1], L"raster") == 0) {
    int code = Raster(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), argv[5]);
    if (code) fprintf(stderr, "emftool: rasterising failed (error %lu)\n", GetLastError());
    return code;
  }
  return Usage();
}
