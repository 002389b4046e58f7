// What the recording driver writes about each object a call hands it, as "key=value " words,
// read through the engine's own XXXOBJ_ functions (found in the host's executable).
#pragma once
#include <windows.h>
#include <winddi.h>

#include <string>

std::string DescribeMix(MIX mix);
// path=M x,y;L x,y;C x,y/x,y/x,y;Z... (device pixels) bounds=... curves=N beziers=0|1
std::string DescribePath(PATHOBJ* ppo);
// clip=0|1|3 cliprects=l,t,r,b;...
std::string DescribeClip(CLIPOBJ* pco);
// brush=<iSolidColor> rgb=<BRUSHOBJ_ulGetBrushColor> [rbrush=0|1]
std::string DescribeBrush(BRUSHOBJ* pbo);
std::string DescribeLine(LINEATTRS* pla, XFORMOBJ* pxo);
std::string DescribeSource(SURFOBJ* src, XLATEOBJ* pxlo);
// glyphs, characters, positions and the font; the font file is written as font-N.ttf once.
std::string DescribeText(STROBJ* pstro, FONTOBJ* pfo, RECTL* opaque);
