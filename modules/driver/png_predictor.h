// PNG row filters for Flate images (/DecodeParms << /Predictor 15 >>): each row is said as its
// difference from its left or upper neighbours, whichever of PNG's five filters leaves the
// smallest values; photographs and gradients then deflate to a fraction of their raw samples.
#pragma once
#include <windows.h>

#include <stddef.h>

// Writes the filtered row, its filter type first, into out (bytes + 1 bytes). previous is the row
// above (null for the first row); pixelBytes is the bytes a pixel has (1 grey, 3 RGB).
void PredictRow(const BYTE* row, const BYTE* previous, size_t bytes, int pixelBytes, BYTE* out);
