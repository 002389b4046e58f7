// The font program of a kept face (a PDF FontFile2): head, hhea, maxp, loca, glyf, hmtx and, when
// the face has them, cvt, fpgm and prep, with the kept glyphs at their own ids and every other id
// an empty glyph up to the highest kept one; table checksums and head's checkSumAdjustment set.
#pragma once
#include "subset_face.h"

bool WriteSubsetFont(const SubsetFace& face, ByteBuffer& program);
