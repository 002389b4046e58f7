#include "job_settings.h"

const PaperForm PaperForms[] = {
    {DMPAPER_LETTER, L"Letter", 2159, 2794},
    {DMPAPER_LEGAL, L"Legal", 2159, 3556},
    {DMPAPER_A4, L"A4", 2100, 2970},
    {DMPAPER_A3, L"A3", 2970, 4200},
    {DMPAPER_A5, L"A5", 1480, 2100},
};
const int PaperFormCount = sizeof(PaperForms) / sizeof(PaperForms[0]);
const LONG Resolutions[] = {150, 300, 600};
const int ResolutionCount = sizeof(Resolutions) / sizeof(Resolutions[0]);

namespace {

const LONG DefaultResolution = 300;
// Sizes a DEVMODE of any Windows version can have; anything outside is garbage.
const WORD SmallestPublicPart = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
const WORD LargestPublicPart = 4096;

// True when the field [offset, offset + size) lies inside the public part the caller gave.
bool Covers(size_t publicBytes, size_t offset, size_t size) { return offset + size <= publicBytes; }
#define HAS_FIELD(bytes, field) Covers(bytes, offsetof(DEVMODEW, field), sizeof(DEVMODEW::field))

LONG ResolutionFromQuality(short quality) {
  switch (quality) {
    case DMRES_DRAFT:
    case DMRES_LOW:
      return 150;
    case DMRES_MEDIUM:
      return 300;
    case DMRES_HIGH:
      return 600;
    default:
      return IsSupportedResolution(quality) ? quality : 0;
  }
}

// The user's usual paper (Letter or A4 after the locale), Letter when it is neither.
short LocalePaper() {
  DWORD paper = 0;
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IPAPERSIZE | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&paper),
                     sizeof(paper) / sizeof(WCHAR)) &&
      paper == DMPAPER_A4)
    return DMPAPER_A4;
  return DMPAPER_LETTER;
}

void SetPaper(DEVMODEW& settings, const PaperForm& paper) {
  settings.dmPaperSize = paper.Id;
  settings.dmPaperWidth = static_cast<short>(paper.Width);
  settings.dmPaperLength = static_cast<short>(paper.Height);
  lstrcpynW(settings.dmFormName, paper.Name, CCHFORMNAME);
}

void SetResolution(DEVMODEW& settings, LONG dpi) {
  settings.dmPrintQuality = static_cast<short>(dpi);
  settings.dmYResolution = static_cast<short>(dpi);
}

}  // namespace

const PaperForm* FindPaperById(short id) {
  for (int i = 0; i < PaperFormCount; ++i)
    if (PaperForms[i].Id == id) return &PaperForms[i];
  return nullptr;
}

const PaperForm* FindPaperByName(LPCWSTR name) {
  for (int i = 0; i < PaperFormCount; ++i)
    if (lstrcmpiW(PaperForms[i].Name, name) == 0) return &PaperForms[i];
  return nullptr;
}

bool IsSupportedResolution(LONG dpi) {
  for (int i = 0; i < ResolutionCount; ++i)
    if (Resolutions[i] == dpi) return true;
  return false;
}

void DefaultJobSettings(JobSettings& settings, LPCWSTR printerName) {
  ZeroMemory(&settings, sizeof(settings));
  DEVMODEW& dm = settings.Public;
  if (printerName) lstrcpynW(dm.dmDeviceName, printerName, CCHDEVICENAME);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmDriverVersion = JobSettingsDriverVersion;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = sizeof(PrivateSettings);
  dm.dmFields = JobSettingsFields;
  dm.dmOrientation = DMORIENT_PORTRAIT;
  SetPaper(dm, *FindPaperById(LocalePaper()));
  dm.dmScale = 100;
  dm.dmCopies = 1;
  dm.dmDefaultSource = DMBIN_AUTO;
  SetResolution(dm, DefaultResolution);
  dm.dmColor = DMCOLOR_COLOR;
  dm.dmDuplex = DMDUP_SIMPLEX;
  dm.dmCollate = DMCOLLATE_TRUE;
  dm.dmTTOption = DMTT_BITMAP;  // pages are images
  dm.dmMediaType = DMMEDIA_STANDARD;
  dm.dmDitherType = DMDITHER_NONE;
  settings.Private.Signature = PrivateSettingsSignature;
  settings.Private.Version = PrivateSettingsVersion;
  settings.Private.Size = sizeof(PrivateSettings);
}

void MergeJobSettings(JobSettings& settings, const DEVMODEW* input, size_t inputBytes) {
  if (!input || (inputBytes && inputBytes < SmallestPublicPart)) return;
  const WORD size = input->dmSize;
  const WORD extra = input->dmDriverExtra;
  if (size < SmallestPublicPart || size > LargestPublicPart) return;
  if (inputBytes && inputBytes < static_cast<size_t>(size)) return;
  const size_t publicBytes = size < sizeof(DEVMODEW) ? size : sizeof(DEVMODEW);
  const DWORD fields = input->dmFields;
  DEVMODEW& dm = settings.Public;

  if ((fields & DM_ORIENTATION) && HAS_FIELD(publicBytes, dmOrientation) &&
      (input->dmOrientation == DMORIENT_PORTRAIT || input->dmOrientation == DMORIENT_LANDSCAPE))
    dm.dmOrientation = input->dmOrientation;

  const PaperForm* paper = nullptr;
  if ((fields & DM_PAPERSIZE) && HAS_FIELD(publicBytes, dmPaperSize)) paper = FindPaperById(input->dmPaperSize);
  if (!paper && (fields & DM_FORMNAME) && HAS_FIELD(publicBytes, dmFormName)) {
    WCHAR name[CCHFORMNAME + 1] = {};
    memcpy(name, input->dmFormName, sizeof(input->dmFormName));  // terminated even when the caller's is not
    paper = FindPaperByName(name);
  }
  if (paper) SetPaper(dm, *paper);

  if ((fields & DM_COPIES) && HAS_FIELD(publicBytes, dmCopies) && input->dmCopies >= 1 && input->dmCopies <= 999)
    dm.dmCopies = input->dmCopies;
  if ((fields & DM_COLLATE) && HAS_FIELD(publicBytes, dmCollate) &&
      (input->dmCollate == DMCOLLATE_TRUE || input->dmCollate == DMCOLLATE_FALSE))
    dm.dmCollate = input->dmCollate;
  if ((fields & DM_DEFAULTSOURCE) && HAS_FIELD(publicBytes, dmDefaultSource) &&
      input->dmDefaultSource == DMBIN_AUTO)
    dm.dmDefaultSource = DMBIN_AUTO;

  // A resolution counts when the quality names one we render and the y resolution, where given,
  // is the same (pages are square-pixelled).
  if ((fields & DM_PRINTQUALITY) && HAS_FIELD(publicBytes, dmPrintQuality)) {
    LONG dpi = ResolutionFromQuality(input->dmPrintQuality);
    bool yAgrees = !(fields & DM_YRESOLUTION) || !HAS_FIELD(publicBytes, dmYResolution) || input->dmPrintQuality < 0 ||
                   input->dmYResolution == input->dmPrintQuality;
    if (dpi && yAgrees) SetResolution(dm, dpi);
  } else if ((fields & DM_YRESOLUTION) && HAS_FIELD(publicBytes, dmYResolution) &&
             IsSupportedResolution(input->dmYResolution)) {
    SetResolution(dm, input->dmYResolution);
  }

  if ((fields & DM_COLOR) && HAS_FIELD(publicBytes, dmColor) &&
      (input->dmColor == DMCOLOR_COLOR || input->dmColor == DMCOLOR_MONOCHROME))
    dm.dmColor = input->dmColor;

  // The private part is ours only with our signature, version and size, entirely inside the
  // bytes the caller declared; anything else keeps ours.
  if (extra >= sizeof(PrivateSettings) && (!inputBytes || inputBytes >= static_cast<size_t>(size) + extra)) {
    PrivateSettings theirs;
    memcpy(&theirs, reinterpret_cast<const BYTE*>(input) + size, sizeof(theirs));
    if (theirs.Signature == PrivateSettingsSignature && theirs.Version >= 1 &&
        theirs.Version <= PrivateSettingsVersion && theirs.Size == sizeof(PrivateSettings)) {
      // An earlier version's DEVMODE keeps its choices and is written back as ours.
      if (theirs.Version < 2) theirs.PageContent = PageContentDocument;
      if (theirs.PageContent == PageContentDocument || theirs.PageContent == PageContentImage)
        settings.Private.PageContent = theirs.PageContent;
    }
  }
}

void ComputePageGeometry(const JobSettings& settings, PageGeometry& page) {
  const DEVMODEW& dm = settings.Public;
  const PaperForm* paper = FindPaperById(dm.dmPaperSize);
  if (!paper) paper = &PaperForms[0];
  page.Dpi = IsSupportedResolution(dm.dmPrintQuality) ? dm.dmPrintQuality : DefaultResolution;
  page.Landscape = dm.dmOrientation == DMORIENT_LANDSCAPE;
  page.Grey = dm.dmColor == DMCOLOR_MONOCHROME;
  LONG width = page.Landscape ? paper->Height : paper->Width;  // tenths of a millimetre
  LONG height = page.Landscape ? paper->Width : paper->Height;
  page.WidthPixels = MulDiv(width, page.Dpi, 254);
  page.HeightPixels = MulDiv(height, page.Dpi, 254);
  page.WidthPoints = width * 72.0 / 254.0;
  page.HeightPoints = height * 72.0 / 254.0;
  page.WidthMillimetres = (width + 5) / 10;
  page.HeightMillimetres = (height + 5) / 10;
}
