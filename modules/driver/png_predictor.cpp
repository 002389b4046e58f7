#include "png_predictor.h"

#include <stdlib.h>

namespace {

BYTE Paeth(int left, int up, int upLeft) {
  int estimate = left + up - upLeft;
  int toLeft = abs(estimate - left), toUp = abs(estimate - up), toUpLeft = abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<BYTE>(left);
  return static_cast<BYTE>(toUp <= toUpLeft ? up : upLeft);
}

// The filtered byte i of `row` under filter `type`.
BYTE Filtered(int type, const BYTE* row, const BYTE* previous, size_t i, int pixelBytes) {
  int left = i >= static_cast<size_t>(pixelBytes) ? row[i - pixelBytes] : 0;
  int up = previous ? previous[i] : 0;
  int upLeft = previous && i >= static_cast<size_t>(pixelBytes) ? previous[i - pixelBytes] : 0;
  switch (type) {
    case 1: return static_cast<BYTE>(row[i] - left);
    case 2: return static_cast<BYTE>(row[i] - up);
    case 3: return static_cast<BYTE>(row[i] - ((left + up) >> 1));
    case 4: return static_cast<BYTE>(row[i] - Paeth(left, up, upLeft));
  }
  return row[i];
}

}  // namespace

void PredictRow(const BYTE* row, const BYTE* previous, size_t bytes, int pixelBytes, BYTE* out) {
  // The filter whose values are smallest taken as signed bytes (PNG's own heuristic).
  int best = 0;
  unsigned long long least = ~0ull;
  for (int type = 0; type <= 4; ++type) {
    unsigned long long sum = 0;
    for (size_t i = 0; i < bytes && sum < least; ++i) sum += abs(static_cast<signed char>(Filtered(type, row, previous, i, pixelBytes)));
    if (sum < least) {
      least = sum;
      best = type;
    }
  }
  out[0] = static_cast<BYTE>(best);
  for (size_t i = 0; i < bytes; ++i) out[i + 1] = Filtered(best, row, previous, i, pixelBytes);
}
