// The six capital letters before a subset font's name ("ABCDEF+Name"): taken from a hash of the
// face's name and its glyph set, so that two different subsets of one face in different
// documents get different tags, and the same subset always the same one.
#pragma once
#include <stdint.h>

void MakeSubsetTag(const char* faceName, const uint32_t* glyphs, uint32_t count, char tag[7]);
