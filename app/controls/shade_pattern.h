// The pixel patterns of the shaded button faces: palette-index values before and
// with the per-pixel noise.
#pragma once

#include <cstdint>

#include "dib_bitmap.h"

namespace controls {

// Writes the pattern of style into an 8-bit face (rows bottom-up), drawing its
// noise from CrtRand. g is the granularity: the noise spans -g..+g.
void RenderShadePattern(CDibBitmap& face, uint32_t style, uint8_t g);

}  // namespace controls
