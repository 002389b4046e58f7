// The driver's entry points called directly, with this test program playing the engine's part
// (the engine host exports the Eng functions): the function table GDI receives, the escapes, the
// page that any caller's DEVMODE yields, failed writes, ResetDC in the middle of a job, and
// plain Wine's GDI, where the engine functions are nowhere (bare_host.exe).
#include <gtest/gtest.h>

#include <windows.h>
#include <winddi.h>

#include <stddef.h>

#include <string>
#include <vector>

#include "driver_host.h"
#include "engine_host.h"

namespace {

struct PageAnswer {
  ULONG Width, Height, Dpi, WidthMm, HeightMm;
  bool operator==(const PageAnswer& o) const {
    return Width == o.Width && Height == o.Height && Dpi == o.Dpi && WidthMm == o.WidthMm && HeightMm == o.HeightMm;
  }
};
std::ostream& operator<<(std::ostream& out, const PageAnswer& a) {
  return out << a.Width << "x" << a.Height << " px at " << a.Dpi << " dpi, " << a.WidthMm << "x" << a.HeightMm << " mm";
}

// The test prefix's locale is English (United States): Letter by default, at 300 dpi.
const PageAnswer DefaultPage = {2550, 3300, 300, 216, 279};

std::string written;
bool Collect(HANDLE, const void* bytes, DWORD count) {
  written.append(static_cast<const char*>(bytes), count);
  return true;
}
DWORD writesLeft;
bool FailAfter(HANDLE, const void*, DWORD) {
  if (writesLeft == 0) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  --writesLeft;
  return true;
}

class DriverEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    WCHAR path[MAX_PATH];
    BesideProgram(L"vtxdrv64.dll", path, MAX_PATH);
    const char* failure = "";
    ASSERT_TRUE(LoadDriver(path, Driver, failure)) << failure << " " << GetLastError();
    Engine().Printer = reinterpret_cast<HANDLE>(this);
    Engine().Sink = Collect;
    written.clear();
  }
  void TearDown() override {
    if (Driver.DisableDriver) Driver.DisableDriver();
    if (Driver.Module) FreeLibrary(Driver.Module);
  }
  DHPDEV Enable(DEVMODEW* dm, PageAnswer* page = nullptr) {
    GDIINFO info = {};
    DEVINFO devInfo = {};
    DHPDEV device = Driver.EnablePDEV(dm, nullptr, 0, nullptr, sizeof(info), &info, sizeof(devInfo), &devInfo,
                                      EngineDevice(), const_cast<LPWSTR>(L"Quillstack"), Engine().Printer);
    if (device) {
      Engine().Device = device;
      Driver.CompletePDEV(device, EngineDevice());
      EXPECT_EQ(static_cast<ULONG>(DT_RASPRINTER), info.ulTechnology);
      EXPECT_EQ(24u, info.cBitsPixel);
      EXPECT_EQ(info.ulLogPixelsX, info.ulLogPixelsY);
      EXPECT_TRUE(devInfo.hpalDefault);
    }
    if (page) *page = {info.ulHorzRes, info.ulVertRes, info.ulLogPixelsX, info.ulHorzSize, info.ulVertSize};
    return device;
  }
  PageAnswer PageFor(DEVMODEW* dm) {
    PageAnswer page = {};
    DHPDEV device = Enable(dm, &page);
    EXPECT_TRUE(device) << GetLastError();
    if (device) Driver.DisablePDEV(device);
    return page;
  }
  // One page: white with a band of noise `rows` high, so that it does not compress to nothing.
  BOOL SendNoisyPage(SURFOBJ* so, LONG rows) {
    if (!Driver.StartPage(so)) return FALSE;
    unsigned noise = 7;
    for (LONG y = 0; y < rows && y < so->sizlBitmap.cy; ++y) {
      BYTE* row = static_cast<BYTE*>(so->pvScan0) + y * so->lDelta;
      for (LONG x = 0; x < so->sizlBitmap.cx * 3; ++x) row[x] = static_cast<BYTE>((noise = noise * 1103515245u + 12345u) >> 24);
    }
    return Driver.SendPage(so);
  }
  DriverTable Driver = {};
};

TEST_F(DriverEntry, FunctionTableEscapesAndUserMode) {
  EXPECT_GE(Driver.Data.iDriverVersion, static_cast<ULONG>(DDI_DRIVER_VERSION_NT5));
  std::vector<ULONG> seen;
  for (ULONG i = 0; i < Driver.Data.c; ++i) {
    EXPECT_TRUE(Driver.Data.pdrvfn[i].pfn) << Driver.Data.pdrvfn[i].iFunc;
    for (ULONG earlier : seen) EXPECT_NE(earlier, Driver.Data.pdrvfn[i].iFunc) << "listed twice";
    seen.push_back(Driver.Data.pdrvfn[i].iFunc);
  }
  EXPECT_EQ(24u, Driver.Data.c);  // every entry LoadDriver found and the 13 hooked drawing calls
  auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
      reinterpret_cast<void (*)()>(GetProcAddress(Driver.Module, "DrvEnableDriver")));
  DRVENABLEDATA data = {};
  EXPECT_FALSE(enable(DDI_DRIVER_VERSION_NT5, sizeof(data) - 1, &data)) << "a table too small for the answer";

  ULONG query = QUERYESCSUPPORT;
  EXPECT_EQ(1u, Driver.Escape(nullptr, QUERYESCSUPPORT, sizeof(query), &query, 0, nullptr));
  for (ULONG other : {static_cast<ULONG>(PASSTHROUGH), static_cast<ULONG>(GETPHYSPAGESIZE), static_cast<ULONG>(0x7FFF)}) {
    EXPECT_EQ(0u, Driver.Escape(nullptr, QUERYESCSUPPORT, sizeof(other), &other, 0, nullptr)) << other;
    EXPECT_EQ(0u, Driver.Escape(nullptr, other, 0, nullptr, 0, nullptr)) << other;
  }
  EXPECT_EQ(0u, Driver.Escape(nullptr, QUERYESCSUPPORT, 2, &query, 0, nullptr)) << "input too short";

  auto query2 = reinterpret_cast<BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD)>(
      reinterpret_cast<void (*)()>(GetProcAddress(Driver.Module, "DrvQueryDriverInfo")));
  DWORD value = 0, needed = 0;
  EXPECT_FALSE(query2(2, &value, sizeof(value), &needed));
  EXPECT_FALSE(query2(DRVQUERY_USERMODE, &value, 2, &needed));
  EXPECT_EQ(sizeof(DWORD), needed);
}

TEST_F(DriverEntry, AnyCallersDevModeGivesAPageWeRender) {
  EXPECT_EQ(DefaultPage, PageFor(nullptr));

  // Another driver's settings: A4 landscape at 600 dpi in grey, with 64 bytes of its own behind.
  std::vector<BYTE> foreign(sizeof(DEVMODEW) + 64, 0xA5);
  DEVMODEW* dm = reinterpret_cast<DEVMODEW*>(foreign.data());
  FillDevMode(*dm, L"Other printer", DMPAPER_A4, true, 600, true, 2, false);
  dm->dmDriverExtra = 64;
  dm->dmDriverVersion = 0x0999;
  EXPECT_EQ((PageAnswer{7016, 4961, 600, 297, 210}), PageFor(dm));

  // An older, shorter DEVMODEW (up to dmFormName's neighbours) still counts: A5 at 150 dpi.
  FillDevMode(*dm, L"Old", DMPAPER_A5, false, 150, false, 1, true);
  dm->dmDriverExtra = 0;
  dm->dmSize = offsetof(DEVMODEW, dmICMMethod);
  EXPECT_EQ((PageAnswer{874, 1240, 150, 148, 210}), PageFor(dm));

  // Fields behind dmSize are not read, whatever they hold.
  FillDevMode(*dm, L"Short", DMPAPER_A3, true, 600, false, 1, true);
  dm->dmSize = offsetof(DEVMODEW, dmOrientation);
  EXPECT_EQ(DefaultPage, PageFor(dm));

  // Values outside what the driver renders, and garbage, leave the defaults.
  FillDevMode(*dm, L"Odd", 9999, false, 1234, false, 0, true);
  dm->dmOrientation = 7;
  EXPECT_EQ(DefaultPage, PageFor(dm));
  FillDevMode(*dm, L"Odd", DMPAPER_LETTER, false, 300, false, 1, true);
  dm->dmPrintQuality = 600;
  dm->dmYResolution = 150;  // not square
  EXPECT_EQ(DefaultPage, PageFor(dm));
  for (BYTE fill : {0x00, 0xCD, 0xFF}) {
    std::fill(foreign.begin(), foreign.end(), fill);
    EXPECT_EQ(DefaultPage, PageFor(dm)) << "every byte " << int(fill);
  }
  unsigned noise = 99;
  for (int round = 0; round < 200; ++round) {
    for (BYTE& b : foreign) b = static_cast<BYTE>((noise = noise * 1103515245u + 12345u) >> 24);
    dm->dmSize = static_cast<WORD>(sizeof(DEVMODEW) - (round % 40));  // inside the buffer
    dm->dmDriverExtra = static_cast<WORD>(round % 65);
    PageAnswer page = PageFor(dm);
    EXPECT_TRUE(page.Dpi == 150 || page.Dpi == 300 || page.Dpi == 600) << page;
    // Whatever was taken over, it is one of the papers, either way round, at that resolution.
    ULONG shorter = page.WidthMm < page.HeightMm ? page.WidthMm : page.HeightMm;
    ULONG longer = page.WidthMm < page.HeightMm ? page.HeightMm : page.WidthMm;
    bool paper = (shorter == 216 && (longer == 279 || longer == 356)) || (shorter == 210 && longer == 297) ||
                 (shorter == 297 && longer == 420) || (shorter == 148 && longer == 210);
    EXPECT_TRUE(paper) << page;
    EXPECT_NEAR(page.WidthMm * page.Dpi / 25.4, page.Width, page.Dpi / 25.4) << page;
  }
}

TEST_F(DriverEntry, LostBytesFailTheCallAndResetDCCarriesTheDocumentOn) {
  // A write that fails while a page is sent fails DrvSendPage, and DrvEndDoc after it.
  Engine().Sink = FailAfter;
  writesLeft = 0;
  DHPDEV device = Enable(nullptr);
  ASSERT_TRUE(device);
  HSURF surface = Driver.EnableSurface(device);
  SURFOBJ* so = FindSurface(surface);
  ASSERT_TRUE(so);
  ASSERT_TRUE(Driver.StartDoc(so, const_cast<LPWSTR>(L"Lost"), 1));
  EXPECT_FALSE(SendNoisyPage(so, 200));
  EXPECT_FALSE(Driver.EndDoc(so, 0));
  // A write that fails only at the end fails DrvEndDoc.
  writesLeft = 0;
  ASSERT_TRUE(Driver.StartDoc(so, const_cast<LPWSTR>(L"Lost at the end"), 2));
  EXPECT_TRUE(SendNoisyPage(so, 1)) << "one row fits the buffer; nothing is written yet";
  EXPECT_FALSE(Driver.EndDoc(so, 0));
  // An aborted document writes nothing more and succeeds.
  writesLeft = 1000;
  ASSERT_TRUE(Driver.StartDoc(so, const_cast<LPWSTR>(L"Aborted"), 3));
  EXPECT_TRUE(Driver.EndDoc(so, ED_ABORTDOC));
  EXPECT_EQ(1000u, writesLeft);

  // ResetDC between pages: Letter portrait, then A4 landscape, in one document.
  Engine().Sink = Collect;
  ASSERT_TRUE(Driver.StartDoc(so, const_cast<LPWSTR>(L"Reset"), 4));
  EXPECT_TRUE(SendNoisyPage(so, 30));
  DEVMODEW a4;
  FillDevMode(a4, L"Quillstack", DMPAPER_A4, true, 150, false, 1, true);
  DHPDEV second = Enable(&a4);
  ASSERT_TRUE(second);
  EXPECT_TRUE(Driver.ResetPDEV(device, second));
  Driver.DisableSurface(device);
  Driver.DisablePDEV(device);
  surface = Driver.EnableSurface(second);
  so = FindSurface(surface);
  ASSERT_TRUE(so);
  EXPECT_EQ(1754, so->sizlBitmap.cx);
  EXPECT_TRUE(Driver.StartDoc(so, const_cast<LPWSTR>(L"Reset"), 4));
  EXPECT_TRUE(SendNoisyPage(so, 30));
  EXPECT_TRUE(Driver.EndDoc(so, 0));
  Driver.DisableSurface(second);
  Driver.DisablePDEV(second);
  EXPECT_EQ(0u, written.find("%PDF-1.4"));
  EXPECT_NE(std::string::npos, written.find("/MediaBox [0 0 612 792]"));
  EXPECT_NE(std::string::npos, written.find("/MediaBox [0 0 841.8898 595.2756]"));
  EXPECT_NE(std::string::npos, written.find("/Count 2 "));
  EXPECT_EQ(written.size() - 6, written.rfind("%%EOF\n"));
}

// Plain Wine: gdi32 has no engine functions and bare_host.exe exports none.
TEST(DriverWithoutEngine, LoadsAndRefusesTheDeviceCleanly) {
  WCHAR path[MAX_PATH];
  BesideProgram(L"bare_host.exe", path, MAX_PATH);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      << GetLastError();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), code) << "1001: not loaded, 1002: not enabled, 0: a device";
}

}  // namespace
