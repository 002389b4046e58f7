#!/usr/bin/python3
"""Compares a page rendered from a document (PPM or PGM, by poppler, MuPDF or Ghostscript) with the
reference picture of the same EMF played by Wine's GDI (PPM), allowing for antialiasing: a pixel
counts as matching when each of its channels lies within TOLERANCE of the range the reference
spans in the pixel's 3 x 3 neighbourhood, and the reference's pixel likewise within the range of
the rendering's neighbourhood (an edge smoothed by the renderer, or moved by less than a pixel,
stays inside those ranges; ink that is missing, extra, misplaced or of another colour does not). Grey renderings are compared with the reference's luma. Mismatches that antialiasing
leaves are thin and scattered; a missing word or a misplaced line is a dense cluster, so besides
the page's fraction no 32 x 32 tile may have more than TILE_LIMIT mismatching pixels.
  compare_antialiased.py RENDERED REFERENCE MIN_MATCHING_FRACTION [TOLERANCE (64)] [DIFF.ppm]
Exit code 0 when at least MIN_MATCHING_FRACTION of the pixels match, no tile has more than
TILE_LIMIT (140 of 1024) mismatches and the sizes differ by at most one pixel; the line printed
gives the fraction, the worst tile and the bounding box of the mismatches."""
import sys

import numpy

import compare_pages  # beside this script

# GDI hints TrueType glyphs, renderers draw a PDF's outlines unhinted: along the edges of a large
# bold heading that leaves up to about 130 mismatches in a tile; a word that is missing leaves
# several hundred.
TILE_LIMIT = 140


def read_netpbm(path):
    """The picture as an array of rows of pixels of channels (3, or 1 for PGM)."""
    width, height, channels, pixels = compare_pages.read_netpbm(path)
    return numpy.frombuffer(pixels, dtype=numpy.uint8, count=width * height * channels).reshape(
        height, width, channels).astype(numpy.int32)


def within_neighbourhood(pixels, around, tolerance):
    """Where each channel of pixels lies within the range `around` spans in the 3 x 3
    neighbourhood (plus tolerance). Checked both ways, so that ink missing from the rendering
    fails as surely as ink that is extra."""
    height, width = pixels.shape[:2]
    padded = numpy.pad(around, ((1, 1), (1, 1), (0, 0)), mode='edge')
    shifted = [padded[1 + dy:1 + dy + height, 1 + dx:1 + dx + width] for dy in (-1, 0, 1) for dx in (-1, 0, 1)]
    low = numpy.minimum.reduce(shifted) - tolerance
    high = numpy.maximum.reduce(shifted) + tolerance
    return numpy.all((pixels >= low) & (pixels <= high), axis=2)


def main():
    rendered, reference = read_netpbm(sys.argv[1]), read_netpbm(sys.argv[2])
    minimum = float(sys.argv[3])
    tolerance = int(sys.argv[4]) if len(sys.argv) > 4 else 64
    (rh, rw, rc), (fh, fw, _) = rendered.shape, reference.shape
    if abs(rw - fw) > 1 or abs(rh - fh) > 1:
        print(f'size {rw}x{rh} against the reference {fw}x{fh}')
        return 1
    height, width = min(rh, fh), min(rw, fw)
    rendered, reference = rendered[:height, :width], reference[:height, :width]
    if rc == 1:
        # The luma in 32 bits: 255 * 150 does not fit the pixels' 16.
        r, g, b = (reference[..., i].astype(numpy.int32) for i in range(3))
        reference = ((r * 77 + g * 150 + b * 29 + 128) >> 8).astype(numpy.int16)[..., None]
    if rendered.shape[2] != reference.shape[2]:
        rendered = numpy.repeat(rendered, reference.shape[2], axis=2)
    matching = within_neighbourhood(rendered, reference, tolerance) & within_neighbourhood(reference, rendered, tolerance)
    fraction = matching.mean()
    tile = 32
    th, tw = (height + tile - 1) // tile, (width + tile - 1) // tile
    grid = numpy.zeros((th * tile, tw * tile), dtype=numpy.int32)
    grid[:height, :width] = ~matching
    per_tile = grid.reshape(th, tile, tw, tile).sum(axis=(1, 3))
    worst = numpy.unravel_index(per_tile.argmax(), per_tile.shape)
    worst_count = int(per_tile[worst])
    bad = numpy.argwhere(~matching)
    box = 'none' if len(bad) == 0 else f'x {bad[:, 1].min()}-{bad[:, 1].max()}, y {bad[:, 0].min()}-{bad[:, 0].max()}'
    print(f'{fraction:.5f} of {width}x{height} pixels match within antialiasing; mismatches: {len(bad)} in {box}; '
          f'worst tile {worst_count} at x {worst[1] * tile}, y {worst[0] * tile}')
    if len(sys.argv) > 5 and len(bad):
        # A picture of where they are: the reference faded, mismatches in red.
        picture = numpy.repeat(reference if reference.shape[2] == 3 else reference, 3 // reference.shape[2], axis=2)
        picture = (picture // 3 + 170).astype(numpy.uint8)
        picture[~matching] = (255, 0, 0)
        with open(sys.argv[5], 'wb') as f:
            f.write(f'P6\n{width} {height}\n255\n'.encode() + picture.tobytes())
    return 0 if fraction >= minimum and worst_count <= TILE_LIMIT else 1


sys.exit(main())
