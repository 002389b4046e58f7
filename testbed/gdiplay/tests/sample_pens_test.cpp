// The recorder's rewrite of geometric pens (sample_pens.cpp): a metafile DC of Wine's keeps only
// a plain pen of each geometric one, and the rewrite puts the extended pen back. Checked on the
// bytes and by playing the result: a wide dashed pen must draw wide dashes.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "sample_drawing.h"

namespace {

std::vector<BYTE> Bits(HENHMETAFILE emf) {
  std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
  return bytes;
}

DWORD At(const std::vector<BYTE>& bytes, size_t offset) {
  DWORD value = 0;
  if (offset + 4 <= bytes.size()) memcpy(&value, &bytes[offset], 4);
  return value;
}

std::vector<DWORD> Types(const std::vector<BYTE>& emf) {
  std::vector<DWORD> types;
  for (size_t at = 0; at + 8 <= emf.size() && At(emf, at + 4) >= 8; at += At(emf, at + 4)) types.push_back(At(emf, at));
  return types;
}

// A line 10 units wide in MM_TEXT with a dashed geometric pen and a plain cosmetic one,
// recorded as Wine records them, with the pens noted.
std::vector<BYTE> RecordLines(std::vector<NotedPen>& pens) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  SetPenLog(&pens);
  HPEN dashed = GeometricPen(PS_DASH | PS_ENDCAP_FLAT, 10, RGB(255, 0, 0));
  SetPenLog(nullptr);
  HPEN plain = CreatePen(PS_SOLID, 0, RGB(0, 0, 255));
  HGDIOBJ old = SelectObject(dc, dashed);
  MoveToEx(dc, 10, 50, nullptr);
  LineTo(dc, 390, 50);
  SelectObject(dc, plain);
  MoveToEx(dc, 10, 90, nullptr);
  LineTo(dc, 390, 90);
  SelectObject(dc, old);
  DeleteObject(dashed);
  DeleteObject(plain);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  std::vector<BYTE> bytes = Bits(emf);
  DeleteEnhMetaFile(emf);
  return bytes;
}

TEST(SamplePens, GeometricPlainPensBecomeExtendedPensAndTheHeaderFollows) {
  std::vector<NotedPen> pens;
  std::vector<BYTE> recorded = RecordLines(pens);
  ASSERT_EQ(pens.size(), 1u);
  std::vector<BYTE> rewritten = WithExtendedPens(recorded, pens);
  std::vector<DWORD> before = Types(recorded), after = Types(rewritten);
  ASSERT_EQ(before.size(), after.size());
  int replaced = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i]) {
      EXPECT_EQ(before[i], static_cast<DWORD>(EMR_CREATEPEN));
      EXPECT_EQ(after[i], static_cast<DWORD>(EMR_EXTCREATEPEN));
      ++replaced;
    }
  }
  EXPECT_EQ(replaced, 1);  // the cosmetic pen stays a plain one
  const ENHMETAHEADER* header = reinterpret_cast<const ENHMETAHEADER*>(rewritten.data());
  EXPECT_EQ(header->nBytes, rewritten.size());
  EXPECT_EQ(header->nRecords, after.size());
}

TEST(SamplePens, TheRewrittenPenDrawsWideDashes) {
  std::vector<NotedPen> pens;
  std::vector<BYTE> rewritten = WithExtendedPens(RecordLines(pens), pens);
  HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(rewritten.size()), rewritten.data());
  ASSERT_NE(emf, nullptr);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 400, -120, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  memset(bits, 0xFF, 400 * 120 * 4);
  // Played at the size it was recorded, so that pixels are the recording's units.
  ENHMETAHEADER header;
  GetEnhMetaFileHeader(emf, sizeof(header), &header);
  RECT area = {header.rclBounds.left, header.rclBounds.top, header.rclBounds.right + 1, header.rclBounds.bottom + 1};
  ASSERT_TRUE(PlayEnhMetaFile(dc, emf, &area));
  GdiFlush();
  const DWORD* pixels = static_cast<const DWORD*>(bits);
  auto red = [&](int x, int y) { return (pixels[y * 400 + x] & 0xFFFFFF) == 0xFF0000; };
  // Across the dashed line: red 10 pixels wide. Along it: dashes and gaps.
  int thick = 0, changes = 0;
  for (int y = 30; y < 70; ++y) thick += red(20, y);
  for (int x = 12; x < 388; ++x) changes += red(x, 50) != red(x + 1, 50);
  EXPECT_GE(thick, 9);
  EXPECT_LE(thick, 11);
  EXPECT_GE(changes, 10) << "a wide dashed line shows dashes and gaps";
  int blue = 0;  // the plain pen drew too, one pixel wide near y 90
  for (int y = 85; y < 96; ++y) blue += (pixels[y * 400 + 200] & 0xFFFFFF) == 0x0000FFu;
  EXPECT_EQ(blue, 1);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  DeleteEnhMetaFile(emf);
}

TEST(SamplePens, RecordsThatRunPastTheEndAreNotFollowed) {
  std::vector<NotedPen> pens;
  std::vector<BYTE> recorded = RecordLines(pens);
  // The second record claims to run far past the end: the rewrite keeps what came before it.
  std::vector<BYTE> broken = recorded;
  DWORD headerSize = At(broken, 4), huge = 0x7FFFFFF0;
  memcpy(&broken[headerSize + 4], &huge, 4);
  std::vector<BYTE> rewritten = WithExtendedPens(broken, pens);
  EXPECT_EQ(rewritten.size(), headerSize);
  // A noted pen that does not match the recorded style is left alone.
  pens[0].Style = PS_GEOMETRIC | PS_DOT;
  EXPECT_EQ(Types(WithExtendedPens(recorded, pens)), Types(recorded));
}

}  // namespace
