#include "font_file.h"

static const uint32_t CollectionTag = FontTag('t', 't', 'c', 'f');

static bool KnownVersion(uint32_t version) {
  return version == 0x00010000 || version == FontTag('t', 'r', 'u', 'e') || version == FontTag('O', 'T', 'T', 'O');
}

uint32_t CountFontFaces(const FontBytes& file) {
  uint32_t tag;
  if (!ReadU32(file, 0, tag)) return 0;
  if (KnownVersion(tag)) return 1;
  if (tag != CollectionTag) return 0;
  uint32_t count;
  if (!ReadU32(file, 8, count)) return 0;
  // Every face needs a 4-byte offset in the header and a 12-byte directory somewhere.
  if (count > file.Size / 16) return 0;
  return count;
}

bool ReadFontFile(const FontBytes& file, uint32_t faceIndex, FontFile& font) {
  font = FontFile();
  uint32_t tag;
  if (!ReadU32(file, 0, tag)) return false;
  size_t directory = 0;
  if (tag == CollectionTag) {
    if (faceIndex >= CountFontFaces(file)) return false;
    uint32_t offset;
    if (!ReadU32(file, 12 + size_t(faceIndex) * 4, offset)) return false;
    directory = offset;
  } else if (faceIndex != 0) {
    return false;
  }
  uint32_t version, tableCount;
  if (!ReadU32(file, directory, version) || !KnownVersion(version)) return false;
  if (!ReadU16(file, directory + 4, tableCount) || tableCount == 0 || tableCount > FontTableLimit) return false;
  font.Version = version;
  for (uint32_t i = 0; i < tableCount; ++i) {
    size_t record = directory + 12 + size_t(i) * 16;
    uint32_t tableTag, offset, length;
    if (!ReadU32(file, record, tableTag) || !ReadU32(file, record + 8, offset) || !ReadU32(file, record + 12, length))
      return false;
    FontBytes bytes;
    if (!SliceBytes(file, offset, length, bytes)) return false;  // a table outside the file: a lying font
    FontBytes already;
    if (FindFontTable(font, tableTag, already)) return false;  // two tables of one tag: which is meant?
    font.Tables[font.TableCount].Tag = tableTag;
    font.Tables[font.TableCount].Bytes = bytes;
    ++font.TableCount;
  }
  return true;
}

bool AddFontTable(FontFile& font, uint32_t tag, const FontBytes& bytes) {
  if (font.TableCount >= FontTableLimit || !bytes.Data || !bytes.Size) return false;
  FontBytes already;
  if (FindFontTable(font, tag, already)) return false;
  font.Tables[font.TableCount].Tag = tag;
  font.Tables[font.TableCount].Bytes = bytes;
  ++font.TableCount;
  if (tag == FontTag('C', 'F', 'F', ' ') || tag == FontTag('C', 'F', 'F', '2')) font.Version = FontTag('O', 'T', 'T', 'O');
  else if (!font.Version) font.Version = 0x00010000;
  return true;
}

bool FindFontTable(const FontFile& font, uint32_t tag, FontBytes& table) {
  for (int i = 0; i < font.TableCount; ++i) {
    if (font.Tables[i].Tag == tag) {
      table = font.Tables[i].Bytes;
      return true;
    }
  }
  table = FontBytes();
  return false;
}
