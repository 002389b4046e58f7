// gdiplay: plays GDI's part for the printer driver on the test bed, where Wine's GDI cannot load a
// printer graphics DLL. It loads vtxdrv64.dll from its own folder, calls the entry points in the
// order GDI calls them for one print job, draws each page (one EMF file each, scaled to the
// printable area) record by record into the driver's surface, each drawing record as the
// driver's hooked call where it hooks one and otherwise with Wine's GDI, and sends the driver's
// bytes to a file or, as GDI does, to a printer with the winspool calls.
//
//   gdiplay [--paper Letter|Legal|A4|A3|A5] [--landscape] [--dpi 150|300|600] [--gray] [--image]
//           [--title TEXT] [--copies N] [--uncollated] [--font FILE]... [--driver DLL]
//           (--out FILE | --printer NAME) PAGE.emf...
//
// --image asks for each page as an image (the private settings' page content); --font loads a
// font file for this process only (AddFontResourceExW, FR_PRIVATE) before the pages are read;
// --driver plays another graphics DLL than vtxdrv64.dll beside the program (tests).
//
// Exit codes: 0 the driver accepted every call and every byte arrived; 1 a call of the driver
// failed or its bytes could not be written; 2 a bad command line; 3 a page or the output could
// not be opened, or the driver could not be loaded. A message on stderr says which.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include <stdio.h>
#include <wchar.h>

#include <vector>

#include "driver_host.h"
#include "engine_host.h"
#include "job_settings.h"
#include "text_objects.h"

namespace {

struct Options {
  short Paper = DMPAPER_LETTER;
  bool Landscape = false;
  short Dpi = 300;
  bool Grey = false;
  short Copies = 1;
  bool Collate = true;
  bool Image = false;
  const wchar_t* Driver = nullptr;
  std::vector<const wchar_t*> Fonts;
  const wchar_t* Title = nullptr;
  const wchar_t* Out = nullptr;
  const wchar_t* Printer = nullptr;
  std::vector<const wchar_t*> Pages;
};

int Usage(const char* problem) {
  fprintf(stderr,
          "gdiplay: %s\nusage: gdiplay [--paper Letter|Legal|A4|A3|A5] [--landscape] [--dpi 150|300|600] [--gray]\n"
          "               [--image] [--title TEXT] [--copies N] [--uncollated] [--font FILE]... [--driver DLL]\n"
          "               (--out FILE | --printer NAME) PAGE.emf...\n",
          problem);
  return 2;
}

int Fail(int code, const char* call) {
  fprintf(stderr, "gdiplay: %s failed (error %lu)\n", call, GetLastError());
  return code;
}

bool ParsePaper(const wchar_t* name, short& paper) {
  static const struct {
    const wchar_t* Name;
    short Id;
  } papers[] = {{L"Letter", DMPAPER_LETTER}, {L"Legal", DMPAPER_LEGAL}, {L"A4", DMPAPER_A4},
                {L"A3", DMPAPER_A3},         {L"A5", DMPAPER_A5}};
  for (const auto& p : papers)
    if (_wcsicmp(name, p.Name) == 0) {
      paper = p.Id;
      return true;
    }
  return false;
}

int Parse(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const wchar_t* arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (wcscmp(arg, L"--landscape") == 0) {
      options.Landscape = true;
    } else if (wcscmp(arg, L"--gray") == 0 || wcscmp(arg, L"--grey") == 0) {
      options.Grey = true;
    } else if (wcscmp(arg, L"--uncollated") == 0) {
      options.Collate = false;
    } else if (wcscmp(arg, L"--image") == 0) {
      options.Image = true;
    } else if (wcscmp(arg, L"--font") == 0 && hasValue) {
      options.Fonts.push_back(argv[++i]);
    } else if (wcscmp(arg, L"--driver") == 0 && hasValue) {
      options.Driver = argv[++i];
    } else if (wcscmp(arg, L"--paper") == 0 && hasValue) {
      if (!ParsePaper(argv[++i], options.Paper)) return Usage("unknown paper");
    } else if (wcscmp(arg, L"--dpi") == 0 && hasValue) {
      int dpi = _wtoi(argv[++i]);
      if (dpi != 150 && dpi != 300 && dpi != 600) return Usage("the resolution must be 150, 300 or 600");
      options.Dpi = static_cast<short>(dpi);
    } else if (wcscmp(arg, L"--copies") == 0 && hasValue) {
      int copies = _wtoi(argv[++i]);
      if (copies < 1 || copies > 999) return Usage("copies must be 1 to 999");
      options.Copies = static_cast<short>(copies);
    } else if (wcscmp(arg, L"--title") == 0 && hasValue) {
      options.Title = argv[++i];
    } else if (wcscmp(arg, L"--out") == 0 && hasValue) {
      options.Out = argv[++i];
    } else if (wcscmp(arg, L"--printer") == 0 && hasValue) {
      options.Printer = argv[++i];
    } else if (arg[0] == L'-' && arg[1] == L'-') {
      return Usage("unknown option or missing value");
    } else {
      options.Pages.push_back(arg);
    }
  }
  if (!options.Out == !options.Printer) return Usage("give either --out FILE or --printer NAME");
  // A job without pages (an application's StartDoc and EndDoc alone) needs a title.
  if (options.Pages.empty() && !options.Title) return Usage("no pages");
  return 0;
}

bool WriteToPrinterHandle(HANDLE printer, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WritePrinter(printer, const_cast<void*>(bytes), count, &written) && written == count;
}

// The document name GDI would get from the application: the title, else the first page's name.
const wchar_t* DocumentName(const Options& options) {
  if (options.Title) return options.Title;
  const wchar_t* name = options.Pages[0];
  for (const wchar_t* c = name; *c; ++c)
    if (*c == L'\\' || *c == L'/') name = c + 1;
  return name;
}

// One job from DrvEnablePDEV to DrvDisablePDEV, as GDI runs it for CreateDC, StartDoc, the pages
// and EndDoc; 0 or 1 as the program's exit code.
int PrintJob(const DriverTable& driver, const Options& options, std::vector<HENHMETAFILE>& pages, HANDLE output,
             const wchar_t* deviceName, DWORD jobId) {
  // The public fields as an application fills them, and the driver's private part behind them.
  JobSettings settings = {};
  DEVMODEW& dm = settings.Public;
  FillDevMode(dm, deviceName, options.Paper, options.Landscape, options.Dpi, options.Grey, options.Copies,
              options.Collate);
  dm.dmDriverVersion = JobSettingsDriverVersion;
  dm.dmDriverExtra = sizeof(PrivateSettings);
  settings.Private.Signature = PrivateSettingsSignature;
  settings.Private.Version = PrivateSettingsVersion;
  settings.Private.Size = sizeof(PrivateSettings);
  settings.Private.PageContent = options.Image ? PageContentImage : PageContentDocument;
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  DHPDEV device = driver.EnablePDEV(&dm, const_cast<LPWSTR>(L"Quillstack:"), 0, nullptr, sizeof(gdiInfo),
                                    &gdiInfo, sizeof(devInfo), &devInfo, EngineDevice(),
                                    const_cast<LPWSTR>(deviceName), output);
  if (!device) return Fail(1, "DrvEnablePDEV");
  Engine().Device = device;
  if (gdiInfo.xStyleStep && gdiInfo.denStyleStep)
    Engine().StylePixels = static_cast<double>(gdiInfo.denStyleStep) / gdiInfo.xStyleStep;
  driver.CompletePDEV(device, EngineDevice());
  int code = 0;
  HSURF surface = driver.EnableSurface(device);
  SURFOBJ* so = surface ? FindSurface(surface) : nullptr;
  if (!so) {
    code = Fail(1, "DrvEnableSurface");
  } else if (static_cast<ULONG>(so->sizlBitmap.cx) != gdiInfo.ulHorzRes ||
             static_cast<ULONG>(so->sizlBitmap.cy) != gdiInfo.ulVertRes) {
    fprintf(stderr, "gdiplay: the surface (%ldx%ld) is not the page GDIINFO gives (%lux%lu)\n", so->sizlBitmap.cx,
            so->sizlBitmap.cy, gdiInfo.ulHorzRes, gdiInfo.ulVertRes);
    code = 1;
  } else if (!driver.StartDoc(so, const_cast<LPWSTR>(DocumentName(options)), jobId)) {
    code = Fail(1, "DrvStartDoc");
  } else {
    for (size_t i = 0; i < pages.size() && code == 0; ++i) {
      if (!driver.StartPage(so))
        code = Fail(1, "DrvStartPage");
      else if (!PlayPage(surface, pages[i], static_cast<int>(i + 1)))
        code = Fail(1, "playing the page");
      else if (!driver.SendPage(so))
        code = Fail(1, "DrvSendPage");
    }
    // A failed page ends the job as an aborted document, as AbortDoc would.
    if (!driver.EndDoc(so, code == 0 ? 0 : ED_ABORTDOC) && code == 0) code = Fail(1, "DrvEndDoc");
  }
  ReleaseFonts(&driver.Data);  // the job's fonts are deleted with its DC
  if (surface) driver.DisableSurface(device);
  driver.DisablePDEV(device);
  return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (int bad = Parse(argc, argv, options)) return bad;

  for (const wchar_t* font : options.Fonts)
    if (!AddFontResourceExW(font, FR_PRIVATE, nullptr)) {
      fwprintf(stderr, L"gdiplay: cannot load the font %ls (error %lu)\n", font, GetLastError());
      return 3;
    }
  std::vector<HENHMETAFILE> pages;
  for (const wchar_t* path : options.Pages) {
    HENHMETAFILE page = GetEnhMetaFileW(path);
    if (!page) {
      fwprintf(stderr, L"gdiplay: cannot read the page %ls (error %lu)\n", path, GetLastError());
      return 3;
    }
    pages.push_back(page);
  }

  WCHAR driverPath[MAX_PATH];
  if (options.Driver)
    lstrcpynW(driverPath, options.Driver, MAX_PATH);
  else
    BesideProgram(L"vtxdrv64.dll", driverPath, MAX_PATH);
  DriverTable driver;
  const char* failure = "";
  if (!LoadDriver(driverPath, driver, failure)) return Fail(3, failure);

  int code = 0;
  EngineHost& engine = Engine();
  engine.Driver = &driver.Data;
  if (options.Out) {
    HANDLE file = CreateFileW(options.Out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(3, "CreateFileW");
    engine.Printer = file;
    engine.Sink = WriteToFile;
    code = PrintJob(driver, options, pages, file, L"gdiplay", 1);
    if (!CloseHandle(file) && code == 0) code = Fail(1, "CloseHandle");
  } else {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(options.Printer), &printer, nullptr)) return Fail(3, "OpenPrinterW");
    DOC_INFO_1W info = {const_cast<LPWSTR>(DocumentName(options)), nullptr, const_cast<LPWSTR>(L"RAW")};
    DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info));
    if (!job) {
      code = Fail(3, "StartDocPrinterW");
    } else {
      engine.Printer = printer;
      engine.Sink = WriteToPrinterHandle;
      code = PrintJob(driver, options, pages, printer, options.Printer, job);
      if (code != 0)
        AbortPrinter(printer);
      else if (!EndDocPrinter(printer))
        code = Fail(1, "EndDocPrinter");
    }
    ClosePrinter(printer);
  }
  if (engine.WriteError) fprintf(stderr, "gdiplay: a write of the driver's bytes failed (error %lu)\n", engine.WriteError);
  if (driver.DisableDriver) driver.DisableDriver();
  FreeLibrary(driver.Module);
  for (HENHMETAFILE page : pages) DeleteEnhMetaFile(page);
  return code;
}
