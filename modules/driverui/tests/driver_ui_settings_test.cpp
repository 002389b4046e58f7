// What the configuration module answers without pages: the capabilities agree with each other,
// with the job settings' papers and resolutions and with the page the driver renders; the size and
// default requests, conversions and job checks give complete settings the driver accepts, whatever
// DEVMODE the caller hands in, and read nothing past the caller's dmSize + dmDriverExtra.
#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "job_settings.h"
#include "sheet_host.h"
#include "ui_capabilities.h"

namespace {

typedef DWORD(WINAPI* Capabilities)(HANDLE, LPWSTR, WORD, LPVOID, PDEVMODEW);
typedef DWORD(WINAPI* SpoolerCapabilities)(HANDLE, PWSTR, WORD, PVOID, DWORD, PDEVMODEW);
typedef BOOL(WINAPI* ConvertDevMode)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
typedef BOOL(WINAPI* QueryPrint)(PDEVQUERYPRINT_INFO);

wchar_t PrinterName[] = L"Quillstack";

// The settings DrvDocumentPropertySheets returns for input (DM_IN_BUFFER | DM_OUT_BUFFER).
bool Settings(const DEVMODEW* input, JobSettings& out) {
  auto sheets = UiEntry<PropertySheetsEntry>("DrvDocumentPropertySheets");
  DOCUMENTPROPERTYHEADER header = {sizeof(header), 0, nullptr, PrinterName, const_cast<DEVMODEW*>(input),
                                   &out.Public, sizeof(out), DM_IN_BUFFER | DM_OUT_BUFFER};
  return sheets(nullptr, reinterpret_cast<LPARAM>(&header)) == IDOK;
}

// Settings the driver accepts as they are: our layout, known values, our private part.
void ExpectValid(const JobSettings& settings) {
  const DEVMODEW& dm = settings.Public;
  EXPECT_EQ(sizeof(DEVMODEW), dm.dmSize);
  EXPECT_EQ(sizeof(PrivateSettings), dm.dmDriverExtra);
  EXPECT_EQ(DM_SPECVERSION, dm.dmSpecVersion);
  EXPECT_EQ(JobSettingsFields, dm.dmFields);
  const PaperForm* paper = FindPaperById(dm.dmPaperSize);
  ASSERT_NE(nullptr, paper);
  EXPECT_STREQ(paper->Name, dm.dmFormName);
  EXPECT_TRUE(dm.dmOrientation == DMORIENT_PORTRAIT || dm.dmOrientation == DMORIENT_LANDSCAPE);
  EXPECT_TRUE(IsSupportedResolution(dm.dmPrintQuality));
  EXPECT_EQ(dm.dmPrintQuality, dm.dmYResolution);
  EXPECT_TRUE(dm.dmColor == DMCOLOR_COLOR || dm.dmColor == DMCOLOR_MONOCHROME);
  EXPECT_TRUE(dm.dmCopies >= 1 && dm.dmCopies <= 999);
  EXPECT_EQ(PrivateSettingsSignature, settings.Private.Signature);
}

// A caller's DEVMODE of exactly bytes bytes that ends where an inaccessible page begins, so that
// any read past it faults.
struct GuardedDevmode {
  BYTE* Block = nullptr;
  DEVMODEW* Mode = nullptr;
  explicit GuardedDevmode(size_t bytes) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    Block = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(Block + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old);
    Mode = reinterpret_cast<DEVMODEW*>(Block + system.dwPageSize - bytes);
  }
  ~GuardedDevmode() { VirtualFree(Block, 0, MEM_RELEASE); }
};

TEST(DriverCapabilities, AgreeWithEachOtherWithThePapersAndWithTheRenderedPage) {
  auto caps = UiEntry<Capabilities>("DrvDeviceCapabilities");
  auto splCaps = UiEntry<SpoolerCapabilities>("DrvSplDeviceCaps");
  ASSERT_TRUE(caps && splCaps);
  auto ask = [&](WORD index, void* out = nullptr) { return caps(nullptr, PrinterName, index, out, nullptr); };

  const DWORD papers = ask(DC_PAPERS);
  ASSERT_EQ(static_cast<DWORD>(PaperFormCount), papers);
  std::vector<WORD> ids(papers);
  std::vector<POINT> sizes(papers);
  std::vector<WCHAR> names(papers * PaperNameChars), ready(papers * PaperNameChars);
  EXPECT_EQ(papers, ask(DC_PAPERS, ids.data()));
  EXPECT_EQ(papers, ask(DC_PAPERSIZE, sizes.data()));
  EXPECT_EQ(papers, ask(DC_PAPERNAMES, names.data()));
  EXPECT_EQ(papers, ask(DC_MEDIAREADY, ready.data()));
  EXPECT_EQ(names, ready);  // every paper is always loaded
  const DWORD minimum = ask(DC_MINEXTENT), maximum = ask(DC_MAXEXTENT);
  for (DWORD i = 0; i < papers; ++i) {
    const PaperForm* paper = FindPaperById(static_cast<short>(ids[i]));
    ASSERT_NE(nullptr, paper);
    EXPECT_STREQ(paper->Name, &names[i * PaperNameChars]);
    EXPECT_EQ(paper->Width, sizes[i].x);
    EXPECT_EQ(paper->Height, sizes[i].y);
    EXPECT_TRUE(sizes[i].x >= LOWORD(minimum) && sizes[i].x <= LOWORD(maximum));
    EXPECT_TRUE(sizes[i].y >= HIWORD(minimum) && sizes[i].y <= HIWORD(maximum));
    // The paper chosen by its number comes back whole, and the driver renders a page of that
    // size, turned for landscape (DC_ORIENTATION 90).
    for (short orientation : {DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE}) {
      DEVMODEW choice = {};
      choice.dmSize = sizeof(choice);
      choice.dmFields = DM_PAPERSIZE | DM_ORIENTATION;
      choice.dmPaperSize = static_cast<short>(ids[i]);
      choice.dmOrientation = orientation;
      JobSettings settings;
      ASSERT_TRUE(Settings(&choice, settings));
      ExpectValid(settings);
      EXPECT_EQ(paper->Width, settings.Public.dmPaperWidth);
      EXPECT_EQ(paper->Height, settings.Public.dmPaperLength);
      PageGeometry page;
      ComputePageGeometry(settings, page);
      bool turned = orientation == DMORIENT_LANDSCAPE;
      EXPECT_NEAR((turned ? sizes[i].y : sizes[i].x) * 72.0 / 254.0, page.WidthPoints, 0.01);
      EXPECT_NEAR((turned ? sizes[i].x : sizes[i].y) * 72.0 / 254.0, page.HeightPoints, 0.01);
    }
  }
  EXPECT_EQ(90u, ask(DC_ORIENTATION));

  const DWORD resolutions = ask(DC_ENUMRESOLUTIONS);
  ASSERT_EQ(static_cast<DWORD>(ResolutionCount), resolutions);
  std::vector<LONG> pairs(2 * resolutions);
  EXPECT_EQ(resolutions, ask(DC_ENUMRESOLUTIONS, pairs.data()));
  for (DWORD i = 0; i < resolutions; ++i) {
    EXPECT_EQ(pairs[2 * i], pairs[2 * i + 1]);
    DEVMODEW choice = {};
    choice.dmSize = sizeof(choice);
    choice.dmFields = DM_PRINTQUALITY | DM_YRESOLUTION;
    choice.dmPrintQuality = choice.dmYResolution = static_cast<short>(pairs[2 * i]);
    JobSettings settings;
    ASSERT_TRUE(Settings(&choice, settings));
    PageGeometry page;
    ComputePageGeometry(settings, page);
    EXPECT_EQ(pairs[2 * i], page.Dpi);
  }

  // One bin, one media type, one page per sheet: the ones the settings name.
  JobSettings defaults;
  ASSERT_TRUE(Settings(nullptr, defaults));
  ExpectValid(defaults);
  WORD bin = 0;
  DWORD media = 0, nup = 0;
  WCHAR binName[BinNameChars] = {}, mediaName[PaperNameChars] = {};
  EXPECT_TRUE(ask(DC_BINS, &bin) == 1 && ask(DC_MEDIATYPES, &media) == 1 && ask(DC_NUP, &nup) == 1);
  EXPECT_TRUE(ask(DC_BINNAMES, binName) == 1 && binName[0] && ask(DC_MEDIATYPENAMES, mediaName) == 1 && mediaName[0]);
  EXPECT_EQ(defaults.Public.dmDefaultSource, bin);
  EXPECT_EQ(static_cast<DWORD>(defaults.Public.dmMediaType), media);
  EXPECT_EQ(1u, nup);
  EXPECT_EQ(1u, ask(DC_COLORDEVICE));
  EXPECT_EQ(defaults.Public.dmFields, ask(DC_FIELDS));
  EXPECT_EQ(defaults.Public.dmSize, ask(DC_SIZE));
  EXPECT_EQ(defaults.Public.dmDriverExtra, ask(DC_EXTRA));
  EXPECT_EQ(defaults.Public.dmSpecVersion, ask(DC_VERSION));
  EXPECT_EQ(defaults.Public.dmDriverVersion, ask(DC_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(GDI_ERROR), ask(9999));
  // Capabilities this printer does not have answer GDI_ERROR, not a number that means something:
  // 0 would be no PRINTRATEUNIT_* value at all. The TrueType answer covers both page contents.
  for (WORD missing : {DC_PRINTRATE, DC_PRINTRATEPPM, DC_PRINTRATEUNIT, DC_BINADJUST, DC_EMF_COMPLIANT,
                       DC_DATATYPE_PRODUCED})
    EXPECT_EQ(static_cast<DWORD>(GDI_ERROR), ask(missing)) << missing;
  EXPECT_EQ(static_cast<DWORD>(DCTT_BITMAP | DCTT_DOWNLOAD), ask(DC_TRUETYPE));
  EXPECT_EQ(0u, ask(DC_DUPLEX));
  EXPECT_EQ(1u, ask(DC_COLLATE));
  EXPECT_EQ(999u, ask(DC_COPIES));

  // The spooler's variant says how large its buffer is: too small fails, enough gives the list.
  std::vector<WCHAR> spooled(papers * PaperNameChars);
  EXPECT_EQ(papers, splCaps(nullptr, PrinterName, DC_PAPERNAMES, nullptr, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(GDI_ERROR),
            splCaps(nullptr, PrinterName, DC_PAPERNAMES, spooled.data(), PaperNameChars, nullptr));
  EXPECT_EQ(papers, splCaps(nullptr, PrinterName, DC_MEDIAREADY, spooled.data(),
                            static_cast<DWORD>(spooled.size()), nullptr));
  EXPECT_EQ(names, spooled);
}

TEST(DriverSettings, SizeDefaultsConversionsAndForeignOrGarbageDevmodes) {
  auto sheets = UiEntry<PropertySheetsEntry>("DrvDocumentPropertySheets");
  auto convert = UiEntry<ConvertDevMode>("DrvConvertDevMode");
  auto query = UiEntry<QueryPrint>("DevQueryPrintEx");
  ASSERT_TRUE(sheets && convert && query);
  DOCUMENTPROPERTYHEADER sizeRequest = {sizeof(sizeRequest), 0, nullptr, PrinterName, nullptr, nullptr, 0, 0};
  EXPECT_EQ(static_cast<LONG>(sizeof(JobSettings)), sheets(nullptr, reinterpret_cast<LPARAM>(&sizeRequest)));
  EXPECT_EQ(sizeof(JobSettings), sizeRequest.cbOut);
  JobSettings defaults, expected;
  DefaultJobSettings(expected, PrinterName);
  ASSERT_TRUE(Settings(nullptr, defaults));
  EXPECT_EQ(0, memcmp(&expected, &defaults, sizeof(expected)));

  // The driver's defaults through DrvConvertDevMode: first the size, then the same settings.
  LONG bytes = 0;
  JobSettings converted;
  EXPECT_FALSE(convert(PrinterName, nullptr, &converted.Public, &bytes, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(static_cast<LONG>(sizeof(JobSettings)), bytes);
  EXPECT_TRUE(convert(PrinterName, nullptr, &converted.Public, &bytes, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(0, memcmp(&expected, &converted, sizeof(expected)));
  // To the Windows NT 3.51 layout: shorter, no private part, the choices kept.
  DEVMODEW old = {};
  JobSettings legal = expected;
  legal.Public.dmPaperSize = DMPAPER_LEGAL;
  legal.Public.dmFields &= ~DM_FORMNAME;
  bytes = sizeof(old);
  EXPECT_TRUE(convert(PrinterName, &legal.Public, &old, &bytes, CDM_CONVERT351));
  EXPECT_EQ(offsetof(DEVMODEW, dmICMMethod), old.dmSize);
  EXPECT_EQ(bytes, old.dmSize);
  EXPECT_EQ(0, old.dmDriverExtra);
  EXPECT_EQ(0x0320, old.dmSpecVersion);
  EXPECT_EQ(DMPAPER_LEGAL, old.dmPaperSize);
  EXPECT_STREQ(L"Legal", old.dmFormName);
  // And back into our layout, which a target of our size and private part names.
  JobSettings back;
  DefaultJobSettings(back, nullptr);
  bytes = sizeof(back);
  EXPECT_TRUE(convert(PrinterName, &old, &back.Public, &bytes, CDM_CONVERT));
  ExpectValid(back);
  EXPECT_EQ(DMPAPER_LEGAL, back.Public.dmPaperSize);
  EXPECT_FALSE(convert(PrinterName, &old, &back.Public, &bytes, 0x80));

  // Into every older, shorter layout a target can name: no flag in dmFields for a field beyond
  // its dmSize (Windows 3.1's ends before dmCollate, 3.0's before dmColor), every field inside kept.
  struct FieldEnd {
    DWORD Flag;
    size_t End;
  } ours[] = {{DM_ORIENTATION, offsetof(DEVMODEW, dmOrientation) + 2}, {DM_PAPERSIZE, offsetof(DEVMODEW, dmPaperSize) + 2},
              {DM_COPIES, offsetof(DEVMODEW, dmCopies) + 2},         {DM_COLLATE, offsetof(DEVMODEW, dmCollate) + 2},
              {DM_DEFAULTSOURCE, offsetof(DEVMODEW, dmDefaultSource) + 2},
              {DM_PRINTQUALITY, offsetof(DEVMODEW, dmPrintQuality) + 2},
              {DM_YRESOLUTION, offsetof(DEVMODEW, dmYResolution) + 2}, {DM_COLOR, offsetof(DEVMODEW, dmColor) + 2},
              {DM_FORMNAME, offsetof(DEVMODEW, dmFormName) + sizeof(DEVMODEW::dmFormName)}};
  DWORD fieldsSeen = 0;
  for (WORD size = offsetof(DEVMODEW, dmFields) + 4; size <= sizeof(DEVMODEW); size += 2) {
    JobSettings target;
    memset(&target, 0, sizeof(target));
    target.Public.dmSize = size;
    target.Public.dmSpecVersion = 0x030A;
    bytes = sizeof(target);
    ASSERT_TRUE(convert(PrinterName, &expected.Public, &target.Public, &bytes, CDM_CONVERT)) << size;
    EXPECT_EQ(size, target.Public.dmSize);
    DWORD known = 0;
    for (const FieldEnd& field : ours) {
      known |= field.Flag;
      bool fits = field.End <= size;
      EXPECT_EQ(fits, (target.Public.dmFields & field.Flag) != 0) << "dmSize " << size << ", flag " << field.Flag;
    }
    EXPECT_EQ(0u, target.Public.dmFields & ~known) << "dmSize " << size;
    fieldsSeen |= target.Public.dmFields;
  }
  EXPECT_EQ(JobSettingsFields, fieldsSeen);

  // The EMF print processor asks which attributes the driver handles: every copy (collated or
  // not), so the job is played once; no N-up, no other page order, no scaling. Any level 1..4.
  typedef BOOL(WINAPI * JobAttributes)(HANDLE, PDEVMODEW, DWORD, LPBYTE);
  auto attributes = UiEntry<JobAttributes>("DrvQueryJobAttributes");
  ASSERT_TRUE(attributes);
  JobSettings asked = expected;
  asked.Public.dmCopies = 7;
  asked.Public.dmCollate = DMCOLLATE_FALSE;
  asked.Public.dmPrintQuality = asked.Public.dmYResolution = 600;
  const size_t levelSizes[] = {0, sizeof(ATTRIBUTE_INFO_1), sizeof(ATTRIBUTE_INFO_2), sizeof(ATTRIBUTE_INFO_3),
                               sizeof(ATTRIBUTE_INFO_4)};
  for (DWORD level = 1; level <= 4; ++level) {
    SCOPED_TRACE(level);
    std::vector<BYTE> block(sizeof(ATTRIBUTE_INFO_4) + 16, 0xEE);
    ASSERT_TRUE(attributes(nullptr, &asked.Public, level, block.data()));
    ATTRIBUTE_INFO_4 info;
    memcpy(&info, block.data(), sizeof(info));
    EXPECT_EQ(7u, info.dwJobNumberOfCopies);
    EXPECT_EQ(info.dwJobNumberOfCopies, info.dwDrvNumberOfCopies) << "the print processor must make no copies";
    EXPECT_EQ(1u, info.dwJobNumberOfPagesPerSide);
    EXPECT_EQ(1u, info.dwDrvNumberOfPagesPerSide);
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRINT), info.dwJobPageOrderFlags);
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRINT), info.dwDrvPageOrderFlags);
    if (level >= 3) {
      EXPECT_EQ(600, info.dmPrintQuality);
    }
    if (level == 4) {
      EXPECT_EQ(100u, info.dwScalingPercentX);
    }
    for (size_t i = levelSizes[level]; i < block.size(); ++i) ASSERT_EQ(0xEE, block[i]) << "written past the level's record";
  }
  ATTRIBUTE_INFO_1 one = {};
  ASSERT_TRUE(attributes(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(&one)));
  EXPECT_EQ(1u, one.dwDrvNumberOfCopies) << "no DEVMODE: the defaults, one copy";
  EXPECT_FALSE(attributes(nullptr, &asked.Public, 5, reinterpret_cast<LPBYTE>(&one)));
  DEVQUERYPRINT_INFO job = {sizeof(job), 1, nullptr, &back.Public, nullptr, 0, 5};
  EXPECT_TRUE(query(&job));
  EXPECT_EQ(0u, job.cchNeeded);

  // Foreign DEVMODEs, each ending at an inaccessible page: what fits and is valid is taken, the
  // rest stays default, nothing past dmSize + dmDriverExtra is read.
  const WORD colourEnd = offsetof(DEVMODEW, dmColor);
  struct Case {
    const char* Name;
    WORD Size, Extra, SpecVersion, DriverVersion;
    short Paper, Orientation, Copies, Quality, Colour;
    short WantPaper, WantOrientation, WantCopies, WantQuality, WantColour;
  } cases[] = {
      {"header only", offsetof(DEVMODEW, dmFields) + 4, 0, DM_SPECVERSION, 0, DMPAPER_A3, 2, 5, 600, 1,
       expected.Public.dmPaperSize, 1, 1, 300, DMCOLOR_COLOR},
      {"ends before dmColor", colourEnd, 0, 0x0300, 0x0100, DMPAPER_A3, 2, 5, 600, DMCOLOR_MONOCHROME, DMPAPER_A3, 2, 5,
       600, DMCOLOR_COLOR},
      {"another driver's private part", sizeof(DEVMODEW), 4, DM_SPECVERSION, 0x0999, DMPAPER_A5, 1, 2, 150,
       DMCOLOR_MONOCHROME, DMPAPER_A5, 1, 2, 150, DMCOLOR_MONOCHROME},
      {"out of range", sizeof(DEVMODEW), 0, DM_SPECVERSION, 0x0300, 9999, 7, 1000, 1234, 9, expected.Public.dmPaperSize,
       1, 1, 300, DMCOLOR_COLOR},
      {"negative quality names", sizeof(DEVMODEW), 0, DM_SPECVERSION, 0x0300, DMPAPER_LETTER, 1, -3, DMRES_HIGH,
       DMCOLOR_MONOCHROME, DMPAPER_LETTER, 1, 1, 600, DMCOLOR_MONOCHROME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    DEVMODEW full = {};
    full.dmSpecVersion = c.SpecVersion;
    full.dmDriverVersion = c.DriverVersion;
    full.dmSize = c.Size;
    full.dmDriverExtra = c.Extra;
    full.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES | DM_PRINTQUALITY | DM_COLOR;
    full.dmPaperSize = c.Paper;
    full.dmOrientation = c.Orientation;
    full.dmCopies = c.Copies;
    full.dmPrintQuality = c.Quality;
    full.dmColor = c.Colour;
    GuardedDevmode input(c.Size + c.Extra);
    memset(input.Mode, 0xEE, c.Size + c.Extra);
    memcpy(input.Mode, &full, c.Size);
    JobSettings out;
    ASSERT_TRUE(Settings(input.Mode, out));
    ExpectValid(out);
    EXPECT_EQ(c.WantPaper, out.Public.dmPaperSize);
    EXPECT_EQ(c.WantOrientation, out.Public.dmOrientation);
    EXPECT_EQ(c.WantCopies, out.Public.dmCopies);
    EXPECT_EQ(c.WantQuality, out.Public.dmPrintQuality);
    EXPECT_EQ(c.WantColour, out.Public.dmColor);
    JobSettings target = expected;
    bytes = sizeof(target);
    ASSERT_TRUE(convert(PrinterName, input.Mode, &target.Public, &bytes, CDM_CONVERT));
    EXPECT_EQ(0, memcmp(&out, &target, sizeof(out)));
  }

  // Random bytes, with dmSize and dmDriverExtra describing exactly the bytes there are.
  std::mt19937 random(18);
  for (int round = 0; round < 300; ++round) {
    WORD size = static_cast<WORD>(random() % 400), extra = static_cast<WORD>(random() % 64);
    if (size < offsetof(DEVMODEW, dmDriverExtra) + 2) size = offsetof(DEVMODEW, dmDriverExtra) + 2;
    GuardedDevmode input(size + extra);
    BYTE* bytesIn = reinterpret_cast<BYTE*>(input.Mode);
    for (size_t i = 0; i < static_cast<size_t>(size) + extra; ++i) bytesIn[i] = static_cast<BYTE>(random());
    input.Mode->dmSize = size;
    input.Mode->dmDriverExtra = extra;
    JobSettings out;
    ASSERT_TRUE(Settings(input.Mode, out));
    ExpectValid(out);
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      break;
    }
  }
}

}  // namespace
