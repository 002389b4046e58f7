#include "ui_capabilities.h"

#include <stdint.h>
#include <string.h>

#include "job_settings.h"
#include "ui_resources.h"

namespace {

// Bytes of one entry of each list capability.
size_t EntryBytes(WORD index) {
  switch (index) {
    case DC_PAPERS:
    case DC_BINS:
      return sizeof(WORD);
    case DC_PAPERSIZE:
      return sizeof(POINT);
    case DC_ENUMRESOLUTIONS:
      return 2 * sizeof(LONG);
    case DC_NUP:
    case DC_MEDIATYPES:
      return sizeof(DWORD);
    case DC_PAPERNAMES:
    case DC_MEDIAREADY:
    case DC_MEDIATYPENAMES:
      return PaperNameChars * sizeof(WCHAR);
    case DC_BINNAMES:
      return BinNameChars * sizeof(WCHAR);
    default:
      return 0;
  }
}

DWORD EntryCount(WORD index) {
  switch (index) {
    case DC_PAPERS:
    case DC_PAPERSIZE:
    case DC_PAPERNAMES:
    case DC_MEDIAREADY:  // every paper is always loaded
      return PaperFormCount;
    case DC_ENUMRESOLUTIONS:
      return ResolutionCount;
    default:  // one bin, one media type, one page per sheet
      return 1;
  }
}

void CopyName(WCHAR* entry, size_t chars, LPCWSTR name) {
  ZeroMemory(entry, chars * sizeof(WCHAR));
  lstrcpynW(entry, name, static_cast<int>(chars));
}

void LoadName(HINSTANCE module, UINT id, WCHAR* entry, size_t chars) {
  ZeroMemory(entry, chars * sizeof(WCHAR));
  LoadStringW(module, id, entry, static_cast<int>(chars));
}

void WriteEntries(HINSTANCE module, WORD index, BYTE* output) {
  for (DWORD i = 0; i < EntryCount(index); ++i) {
    BYTE* entry = output + i * EntryBytes(index);
    switch (index) {
      case DC_PAPERS: {
        WORD id = static_cast<WORD>(PaperForms[i].Id);
        memcpy(entry, &id, sizeof(id));
        break;
      }
      case DC_PAPERSIZE: {  // portrait, in tenths of a millimetre
        POINT size = {PaperForms[i].Width, PaperForms[i].Height};
        memcpy(entry, &size, sizeof(size));
        break;
      }
      case DC_PAPERNAMES:
      case DC_MEDIAREADY:
        CopyName(reinterpret_cast<WCHAR*>(entry), PaperNameChars, PaperForms[i].Name);
        break;
      case DC_ENUMRESOLUTIONS: {  // x and y, square pixels
        LONG pair[2] = {Resolutions[i], Resolutions[i]};
        memcpy(entry, pair, sizeof(pair));
        break;
      }
      case DC_BINS: {
        WORD bin = DMBIN_AUTO;
        memcpy(entry, &bin, sizeof(bin));
        break;
      }
      case DC_BINNAMES:
        LoadName(module, IDS_BIN_AUTO, reinterpret_cast<WCHAR*>(entry), BinNameChars);
        break;
      case DC_NUP: {
        DWORD one = 1;
        memcpy(entry, &one, sizeof(one));
        break;
      }
      case DC_MEDIATYPES: {
        DWORD media = DMMEDIA_STANDARD;
        memcpy(entry, &media, sizeof(media));
        break;
      }
      case DC_MEDIATYPENAMES:
        LoadName(module, IDS_MEDIA_STANDARD, reinterpret_cast<WCHAR*>(entry), PaperNameChars);
        break;
    }
  }
}

// The smallest or largest paper width and length, as DC_MINEXTENT and DC_MAXEXTENT pack them.
DWORD PaperExtent(bool largest) {
  LONG width = PaperForms[0].Width, length = PaperForms[0].Height;
  for (int i = 1; i < PaperFormCount; ++i) {
    const PaperForm& paper = PaperForms[i];
    width = largest ? (paper.Width > width ? paper.Width : width) : (paper.Width < width ? paper.Width : width);
    length = largest ? (paper.Height > length ? paper.Height : length) : (paper.Height < length ? paper.Height : length);
  }
  return MAKELONG(width, length);
}

}  // namespace

DWORD QueryDeviceCapability(HINSTANCE module, WORD index, void* output, size_t outputBytes) {
  if (EntryBytes(index)) {
    DWORD count = EntryCount(index);
    if (!output) return count;
    if (outputBytes < count * EntryBytes(index)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return GDI_ERROR;
    }
    WriteEntries(module, index, static_cast<BYTE*>(output));
    return count;
  }
  switch (index) {
    case DC_FIELDS:
      return JobSettingsFields;
    case DC_SIZE:
      return sizeof(DEVMODEW);
    case DC_EXTRA:
      return sizeof(PrivateSettings);
    case DC_VERSION:
      return DM_SPECVERSION;
    case DC_DRIVER:
      return JobSettingsDriverVersion;
    case DC_MINEXTENT:
      return PaperExtent(false);
    case DC_MAXEXTENT:
      return PaperExtent(true);
    case DC_ORIENTATION:  // landscape turns the page a quarter turn counter-clockwise
      return 90;
    case DC_COPIES:
      return 999;
    case DC_COLORDEVICE:
      return 1;
    case DC_TRUETYPE:  // as graphics in the page image, as embedded fonts in document content
      return DCTT_BITMAP | DCTT_DOWNLOAD;
    case DC_COLLATE:  // the driver writes the copies into the document, collated or not
      return 1;
    // A document is one sided and not stapled; the lists of personalities (page languages) and
    // dependent files are empty; there is no printer memory.
    case DC_DUPLEX:
    case DC_STAPLE:
    case DC_PERSONALITY:
    case DC_PRINTERMEM:
    case DC_FILEDEPENDENCIES:
      return 0;
    // A print rate is a capability this printer does not have: no rate, so no unit either
    // (DC_PRINTRATEUNIT would have to name a PRINTRATEUNIT_* value). DC_BINADJUST is not used on
    // Windows NT. All of them, like any index not known here, answer GDI_ERROR.
    case DC_PRINTRATE:
    case DC_PRINTRATEPPM:
    case DC_PRINTRATEUNIT:
    case DC_BINADJUST:
    default:
      return GDI_ERROR;
  }
}
