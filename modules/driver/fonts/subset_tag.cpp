#include "subset_tag.h"

void MakeSubsetTag(const char* faceName, const uint32_t* glyphs, uint32_t count, char tag[7]) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a, 64 bits
  const uint64_t prime = 1099511628211ull;
  for (const char* c = faceName; c && *c; ++c) hash = (hash ^ uint8_t(*c)) * prime;
  for (uint32_t i = 0; i < count; ++i)
    for (int shift = 0; shift < 32; shift += 8) hash = (hash ^ ((glyphs[i] >> shift) & 0xFF)) * prime;
  for (int i = 0; i < 6; ++i) {
    tag[i] = char('A' + hash % 26);
    hash /= 26;
  }
  tag[6] = 0;
}
