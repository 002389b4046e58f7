// The fonts the tests read, from Debian's packages (testbed/install-deps.sh installs them), as
// Wine sees them through its Z: drive, and the folder the tests leave their subsets in for
// fontTools (check_subsets.py) to read back.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "font_file.h"

const char* const LiberationSans = "Z:\\usr\\share\\fonts\\truetype\\liberation2\\LiberationSans-Regular.ttf";
const char* const LiberationSerifItalic = "Z:\\usr\\share\\fonts\\truetype\\liberation2\\LiberationSerif-Italic.ttf";
const char* const DejaVuSans = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
const char* const NotoSansCjk = "Z:\\usr\\share\\fonts\\opentype\\noto\\NotoSansCJK-Regular.ttc";

std::vector<uint8_t> LoadFile(const char* path);
bool SaveFile(const std::string& path, const uint8_t* bytes, size_t size);
inline FontBytes BytesOf(const std::vector<uint8_t>& file) { return FontBytes{file.data(), file.size()}; }
// Where subsets go for check_subsets.py: "font-subsets" in the working directory.
std::string SubsetFolder();

// A copy of `bytes` that ends exactly where an inaccessible page begins: a read one byte past it
// crashes the test instead of passing unseen.
struct GuardedBytes {
  uint8_t* Data;
  size_t Size;
  void* Block;
  size_t BlockSize;
};
GuardedBytes GuardedCopy(const std::vector<uint8_t>& bytes);
void FreeGuarded(GuardedBytes& guarded);
inline FontBytes BytesOf(const GuardedBytes& guarded) { return FontBytes{guarded.Data, guarded.Size}; }

// Big-endian numbers in a font file being made to lie, and where a table's record is.
uint32_t GetU16(const std::vector<uint8_t>& file, size_t at);
uint32_t GetU32(const std::vector<uint8_t>& file, size_t at);
void SetU16(std::vector<uint8_t>& file, size_t at, uint32_t value);
void SetU32(std::vector<uint8_t>& file, size_t at, uint32_t value);
// The file offset of the directory record of `tag` (its offset at +8, length at +12); 0 if none.
size_t TableRecord(const std::vector<uint8_t>& file, uint32_t tag);
size_t TableOffset(const std::vector<uint8_t>& file, uint32_t tag);
