// The document stream alone: PDF numbers, every cross-reference offset pointing at its object,
// stream lengths that are the bytes written, copies in the page tree's order, a failed write
// failing the document; and memory that stays flat however many pages a document has.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <limits>
#include <string>

#include "draw_calls.h"
#include "fake_engine.h"
#include "pdf_document.h"

namespace {

std::string Real(double value) {
  PdfBytes bytes = {};
  PdfAppendReal(bytes, value);
  std::string text(reinterpret_cast<const char*>(bytes.Data), bytes.Length);
  PdfBytesFree(bytes);
  return text;
}

bool Collect(void* target, const BYTE* bytes, DWORD count) {
  static_cast<std::string*>(target)->append(reinterpret_cast<const char*>(bytes), count);
  return true;
}
bool Refuse(void*, const BYTE*, DWORD) { return false; }

TEST(PdfSyntax, RealsAreShortAndExactToATenThousandth) {
  EXPECT_EQ("0", Real(0));
  EXPECT_EQ("0", Real(-0.00004));
  EXPECT_EQ("12", Real(12));
  EXPECT_EQ("12.5", Real(12.5));
  EXPECT_EQ("-3.0625", Real(-3.0625));
  EXPECT_EQ("841.8898", Real(841.88976));
  EXPECT_EQ("0.0001", Real(0.00005));
  EXPECT_EQ("1000000000000", Real(1e15)) << "clamped, never exponent notation";
  EXPECT_EQ("0", Real(std::numeric_limits<double>::quiet_NaN())) << "a number that is not one";
}

TEST(PdfDocumentStream, OffsetsLengthsAndCopiesAreRight) {
  std::string pdf;
  PdfDocument* document = PdfBeginDocument(Collect, &pdf, L"Three");
  ASSERT_TRUE(document);
  DWORD pages[3];
  for (int i = 0; i < 3; ++i) {
    PdfPageRecord record = {};
    record.ContentId = PdfNewObjectId(*document);
    std::string content = "0 0 " + std::to_string(10 * (i + 1)) + " 10 re f\n";
    ASSERT_TRUE(PdfWriteStream(*document, record.ContentId, nullptr, content.data(), content.size(), i != 1));
    record.PageId = pages[i] = PdfNewObjectId(*document);
    record.WidthPoints = 100;
    record.HeightPoints = 50;
    ASSERT_TRUE(PdfAddPage(*document, record));
  }
  ASSERT_TRUE(PdfEndDocument(*document, 2, false));
  PdfFreeDocument(document);

  // Every entry of the cross-reference table points at "N 0 obj".
  size_t xref = pdf.rfind("xref\n0 ");
  ASSERT_NE(std::string::npos, xref);
  unsigned long objects = strtoul(pdf.c_str() + xref + 7, nullptr, 10);
  size_t entry = pdf.find('\n', pdf.find("65535 f", xref)) + 1;
  for (unsigned long id = 1; id < objects; ++id, entry += 20) {
    unsigned long long offset = strtoull(pdf.c_str() + entry, nullptr, 10);
    EXPECT_EQ(0u, pdf.compare(offset, std::to_string(id).size() + 6, std::to_string(id) + " 0 obj")) << id;
  }
  EXPECT_EQ(xref, strtoull(pdf.c_str() + pdf.rfind("startxref\n") + 10, nullptr, 10));
  // Each Flate stream's /Length object holds the bytes between "stream\n" and "\nendstream".
  for (size_t at = pdf.find("/Length "); at != std::string::npos; at = pdf.find("/Length ", at + 1)) {
    unsigned long value = strtoul(pdf.c_str() + at + 8, nullptr, 10);
    size_t data = pdf.find("stream\n", at) + 7;
    size_t end = pdf.find("\nendstream", data);
    if (pdf.compare(pdf.find_first_not_of("0123456789", at + 8), 4, " 0 R") == 0) {
      std::string header = "\n" + std::to_string(value) + " 0 obj\n";
      size_t object = pdf.find(header);
      ASSERT_NE(std::string::npos, object);
      EXPECT_EQ(end - data, strtoul(pdf.c_str() + object + header.size(), nullptr, 10));
    } else {
      EXPECT_EQ(end - data, value);
    }
  }
  // Uncollated copies: 1 1 2 2 3 3, the copies sharing their page's content.
  size_t kids = pdf.find("/Kids [");
  ASSERT_NE(std::string::npos, kids);
  std::string list = pdf.substr(kids, pdf.find(']', kids) - kids);
  EXPECT_EQ(0u, list.find("/Kids [ " + std::to_string(pages[0]) + " 0 R "));
  EXPECT_EQ(6u, Count(list, " 0 R"));
  EXPECT_EQ(6u, Count(pdf, "/Type /Page "));
  EXPECT_EQ(2u, Count(pdf, "/Contents " + std::to_string(pages[1] - 1) + " 0 R"));
  EXPECT_NE(std::string::npos, pdf.find("/Count 6 "));
}

TEST(PdfDocumentStream, AFailedWriteFailsTheDocument) {
  PdfDocument* document = PdfBeginDocument(Refuse, nullptr, L"Lost");
  ASSERT_TRUE(document);
  PdfPageRecord record = {};
  record.PageId = PdfNewObjectId(*document);
  EXPECT_TRUE(PdfAddPage(*document, record)) << "buffered, nothing written yet";
  EXPECT_FALSE(PdfEndDocument(*document, 1, true));
  EXPECT_FALSE(PdfAddPage(*document, record)) << "a failed document takes nothing more";
  PdfFreeDocument(document);
}

// A page of fills, a letterhead image and text, printed many times: what the page keeps between
// pages does not grow, and the letterhead is one image however many pages carry it.
TEST(PageMemory, FlatInThePageCount) {
  FakeDevice fake;
  StartDevice(fake, 800, 600, 150, false);
  FakeBitmap logo;
  MakeBitmap(logo, BMF_24BPP, 80, 40, [](LONG x, LONG y) -> ULONG { return static_cast<ULONG>(x * 3 + y * 5); });
  FakeBrush brush;
  size_t contentCapacity = 0, patchCapacity = 0, resourceCapacity = 0;
  for (int page = 0; page < 120; ++page) {
    StartPage(fake);
    RECTL target = {20, 20, 100, 60};
    POINTL origin = {0, 0};
    ASSERT_TRUE(DrvBitBlt(&fake.Surface, &logo.Object, nullptr, nullptr, &logo.Xlate.Object, &target, &origin,
                          nullptr, nullptr, nullptr, 0xCCCC));
    for (LONG row = 0; row < 40; ++row) {
      MakeBrush(brush, static_cast<ULONG>(row * 0x010203));
      RECTL line = {50, 100 + row * 10, 700, 105 + row * 10};
      ASSERT_TRUE(DrvBitBlt(&fake.Surface, nullptr, nullptr, nullptr, nullptr, &line, nullptr, nullptr,
                            &brush.Object, nullptr, 0xF0F0));
    }
    STROBJ text = {};
    text.rclBkGround = {50, 550, 400, 570};
    ASSERT_TRUE(DrvTextOut(&fake.Surface, &text, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           R2_COPYPEN));
    ASSERT_TRUE(SendPage(fake));
    const PageRecording& recording = *fake.Device.Recording;
    if (page == 10) {
      contentCapacity = recording.Content.Capacity;
      patchCapacity = recording.PatchCapacity;
      resourceCapacity = recording.ResourceCapacity;
    } else if (page > 10) {
      ASSERT_EQ(contentCapacity, recording.Content.Capacity) << page;
      ASSERT_EQ(patchCapacity, recording.PatchCapacity) << page;
      ASSERT_EQ(resourceCapacity, recording.ResourceCapacity) << page;
    }
  }
  ASSERT_TRUE(EndDocument(fake));
  EXPECT_EQ(120u, Count(fake.Written, "/Type /Page "));
  EXPECT_EQ(1u, Count(fake.Written, "/Width 80 /Height 40")) << "the letterhead written once";
  FreeDevice(fake);
}

}  // namespace
