// The job settings of a Quillstack printer, as the driver renders them and the configuration
// module offers them: the public DEVMODEW fields followed by a private part of the driver's own.
// Both modules take every caller's DEVMODE through MergeJobSettings, which never reads past
// dmSize + dmDriverExtra and keeps the defaults for whatever is missing, foreign or out of range.
#pragma once
#include <windows.h>

#include <stddef.h>

// The private part behind the public fields (dmDriverExtra bytes). A caller's private part counts
// only when its signature and size are these and its version is one this driver knows; version 1
// (before the page content choice) reads as document content.
const DWORD PrivateSettingsSignature = 0x4B545351;  // "QSTK"
const WORD PrivateSettingsVersion = 2;

// What the driver makes of a page: PDF text, paths and images, or one picture of the page.
const DWORD PageContentDocument = 0;
const DWORD PageContentImage = 1;

struct PrivateSettings {
  DWORD Signature;
  WORD Version;
  WORD Size;          // sizeof(PrivateSettings), the same in every version
  DWORD PageContent;  // PageContentDocument or PageContentImage (version 2; zero in version 1)
  DWORD Reserved[3];  // zero; room for later versions without changing the size
};

struct JobSettings {
  DEVMODEW Public;
  PrivateSettings Private;
};

// dmDriverVersion of the settings this driver writes.
const WORD JobSettingsDriverVersion = 0x0300;

// The fields a caller may choose; DC_FIELDS answers these.
const DWORD JobSettingsFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLLATE |
                                DM_DEFAULTSOURCE | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR | DM_FORMNAME;

struct PaperForm {
  short Id;        // DMPAPER_*
  LPCWSTR Name;    // the form name as Windows spells it
  LONG Width;      // portrait width in tenths of a millimetre
  LONG Height;     // portrait height in tenths of a millimetre
};

extern const PaperForm PaperForms[];
extern const int PaperFormCount;
extern const LONG Resolutions[];  // dots per inch, the same in x and y
extern const int ResolutionCount;

const PaperForm* FindPaperById(short id);
const PaperForm* FindPaperByName(LPCWSTR name);
bool IsSupportedResolution(LONG dpi);

// Letter, portrait, 300 dpi, colour, one copy, the private part set; dmDeviceName from the
// printer's name when there is one.
void DefaultJobSettings(JobSettings& settings, LPCWSTR printerName);

// Takes over each choice of input that is valid; the rest stays as it is in settings. input may be
// null, too short, of another DEVMODE or driver version, or garbage: only bytes inside
// min(dmSize, sizeof(DEVMODEW)) and, for the private part, inside dmSize + dmDriverExtra are read,
// and only when inputBytes (the bytes the caller vouches for, or 0 when it does not know) covers them.
void MergeJobSettings(JobSettings& settings, const DEVMODEW* input, size_t inputBytes);

// The page a job's settings describe, in device pixels and in PDF points; the whole page is
// printable (a document has no hardware margins).
struct PageGeometry {
  LONG Dpi;
  LONG WidthPixels;   // as oriented
  LONG HeightPixels;
  double WidthPoints;
  double HeightPoints;
  LONG WidthMillimetres;
  LONG HeightMillimetres;
  bool Landscape;
  bool Grey;
};

void ComputePageGeometry(const JobSettings& settings, PageGeometry& page);
