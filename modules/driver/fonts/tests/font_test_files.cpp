#include "font_test_files.h"

#include <stdio.h>
#include <string.h>

#include <windows.h>

std::vector<uint8_t> LoadFile(const char* path) {
  std::vector<uint8_t> bytes;
  FILE* file = fopen(path, "rb");
  if (!file) return bytes;
  uint8_t block[65536];
  size_t got;
  while ((got = fread(block, 1, sizeof(block), file)) > 0) bytes.insert(bytes.end(), block, block + got);
  fclose(file);
  return bytes;
}

bool SaveFile(const std::string& path, const uint8_t* bytes, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = fwrite(bytes, 1, size, file) == size;
  return fclose(file) == 0 && written;
}

std::string SubsetFolder() {
  CreateDirectoryA("font-subsets", nullptr);
  return "font-subsets\\";
}

GuardedBytes GuardedCopy(const std::vector<uint8_t>& bytes) {
  GuardedBytes guarded = {};
  size_t page = 4096, data = (bytes.size() + page - 1) / page * page;
  guarded.BlockSize = data + page;
  guarded.Block = VirtualAlloc(nullptr, guarded.BlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!guarded.Block) return guarded;
  DWORD old;
  VirtualProtect(static_cast<uint8_t*>(guarded.Block) + data, page, PAGE_NOACCESS, &old);
  guarded.Data = static_cast<uint8_t*>(guarded.Block) + data - bytes.size();
  guarded.Size = bytes.size();
  if (!bytes.empty()) memcpy(guarded.Data, bytes.data(), bytes.size());
  return guarded;
}

void FreeGuarded(GuardedBytes& guarded) {
  if (guarded.Block) VirtualFree(guarded.Block, 0, MEM_RELEASE);
  guarded = GuardedBytes();
}

uint32_t GetU16(const std::vector<uint8_t>& file, size_t at) { return (uint32_t(file[at]) << 8) | file[at + 1]; }

uint32_t GetU32(const std::vector<uint8_t>& file, size_t at) { return (GetU16(file, at) << 16) | GetU16(file, at + 2); }

void SetU16(std::vector<uint8_t>& file, size_t at, uint32_t value) {
  file[at] = uint8_t(value >> 8);
  file[at + 1] = uint8_t(value);
}

void SetU32(std::vector<uint8_t>& file, size_t at, uint32_t value) {
  SetU16(file, at, value >> 16);
  SetU16(file, at + 2, value & 0xFFFF);
}

size_t TableRecord(const std::vector<uint8_t>& file, uint32_t tag) {
  uint32_t count = GetU16(file, 4);
  for (uint32_t i = 0; i < count; ++i)
    if (GetU32(file, 12 + size_t(i) * 16) == tag) return 12 + size_t(i) * 16;
  return 0;
}

size_t TableOffset(const std::vector<uint8_t>& file, uint32_t tag) {
  size_t record = TableRecord(file, tag);
  return record ? GetU32(file, record + 8) : 0;
}
