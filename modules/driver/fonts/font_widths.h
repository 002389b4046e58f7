// The widths of a CIDFont (its /W array): each kept glyph's hmtx advance in PDF glyph space
// (thousandths of the em), runs of consecutive glyph ids written together.
#pragma once
#include "subset_face.h"

void WriteCidWidths(const SubsetFace& face, ByteBuffer& widths);
// An advance in font units as thousandths of the em, rounded.
long long GlyphSpaceWidth(uint32_t advance, uint32_t unitsPerEm);
