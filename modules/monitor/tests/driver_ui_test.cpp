// The driver's configuration module answers what the spooler and applications ask when a printer
// is created and its settings are read: the size of the settings, the defaults (merged with the
// caller's), the capabilities; the events are accepted.
#include <gtest/gtest.h>

#include <windows.h>

#include "modules/driverui/driver_ui_interface.h"
#include "modules/settings/job_settings.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

TEST(DriverSettings, SizeDefaultsMergedSettingsAndCapabilities) {
  HMODULE ui = LoadLibraryW(BesideTest(L"vtxui64.dll").c_str());
  ASSERT_NE(nullptr, ui) << GetLastError();
  typedef LONG(WINAPI * Sheets)(LPVOID, LPARAM);
  typedef DWORD(WINAPI * Capabilities)(HANDLE, LPWSTR, WORD, LPVOID, PDEVMODEW);
  typedef BOOL(WINAPI * PrinterEvent)(LPWSTR, INT, DWORD, LPARAM);
  Sheets sheets = reinterpret_cast<Sheets>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvDocumentPropertySheets")));
  Capabilities capabilities =
      reinterpret_cast<Capabilities>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvDeviceCapabilities")));
  PrinterEvent event = reinterpret_cast<PrinterEvent>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvPrinterEvent")));
  ASSERT_TRUE(sheets && capabilities && event && GetProcAddress(ui, "DrvDriverEvent"));
  wchar_t name[] = L"Quillstack";
  DOCUMENTPROPERTYHEADER header = {sizeof(header), 0, nullptr, name, nullptr, nullptr, 0, 0};
  EXPECT_EQ(static_cast<LONG>(sizeof(JobSettings)), sheets(nullptr, reinterpret_cast<LPARAM>(&header)));
  EXPECT_EQ(sizeof(JobSettings), header.cbOut);
  DEVMODEW in = {};
  JobSettings settings = {};
  DEVMODEW& out = settings.Public;
  in.dmSize = sizeof(in);
  in.dmFields = DM_ORIENTATION | DM_COPIES;
  in.dmOrientation = DMORIENT_LANDSCAPE;
  in.dmCopies = 3;
  header.pdmIn = &in;
  header.pdmOut = &out;
  header.fMode = DM_OUT_BUFFER;
  EXPECT_EQ(IDOK, sheets(nullptr, reinterpret_cast<LPARAM>(&header)));
  EXPECT_STREQ(L"Quillstack", out.dmDeviceName);
  EXPECT_EQ(sizeof(DEVMODEW), out.dmSize);
  EXPECT_EQ(sizeof(PrivateSettings), out.dmDriverExtra);
  EXPECT_EQ(DMORIENT_PORTRAIT, out.dmOrientation);
  EXPECT_EQ(1, out.dmCopies);
  header.fMode = DM_OUT_BUFFER | DM_IN_BUFFER;
  EXPECT_EQ(IDOK, sheets(nullptr, reinterpret_cast<LPARAM>(&header)));
  EXPECT_EQ(DMORIENT_LANDSCAPE, out.dmOrientation);
  EXPECT_EQ(3, out.dmCopies);
  header.cbOut = 10;
  EXPECT_LT(sheets(nullptr, reinterpret_cast<LPARAM>(&header)), 0);
  WORD papers[8] = {};
  EXPECT_EQ(5u, capabilities(nullptr, name, DC_PAPERS, papers, nullptr));
  EXPECT_EQ(DMPAPER_LETTER, papers[0]);
  EXPECT_EQ(sizeof(DEVMODEW), capabilities(nullptr, name, DC_SIZE, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(GDI_ERROR), capabilities(nullptr, name, 9999, nullptr, nullptr));
  EXPECT_TRUE(event(name, 3, 1, 0));
  FreeLibrary(ui);
}

}  // namespace
