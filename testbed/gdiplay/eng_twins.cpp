// The engine's drawing functions a hooked driver calls back (EngStrokePath, EngBitBlt, ...): each
// draws the record being played with Wine's GDI into the surface, so that the bitmap is exactly
// what GDI draws for it whatever the driver does besides. Called outside a record, or on another
// surface, they fail: this engine draws only what a page's records say.
#include "record_player.h"

namespace {

BOOL Draw(SURFOBJ* pso) {
  if (DrawCurrentRecord(pso)) return TRUE;
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL APIENTRY EngStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*,
                                                 LINEATTRS*, MIX) {
  return Draw(pso);
}

__declspec(dllexport) BOOL APIENTRY EngFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
  return Draw(pso);
}

__declspec(dllexport) BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*,
                                                        LINEATTRS*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
  return Draw(pso);
}

__declspec(dllexport) BOOL APIENTRY EngLineTo(SURFOBJ* pso, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) {
  return Draw(pso);
}

__declspec(dllexport) BOOL APIENTRY EngBitBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                                             POINTL*, BRUSHOBJ*, POINTL*, ROP4) {
  return Draw(psoTrg);
}

__declspec(dllexport) BOOL APIENTRY EngCopyBits(SURFOBJ* psoDest, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) {
  return Draw(psoDest);
}

__declspec(dllexport) BOOL APIENTRY EngStretchBlt(SURFOBJ* psoDest, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                                 COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG) {
  return Draw(psoDest);
}

__declspec(dllexport) BOOL APIENTRY EngStretchBltROP(SURFOBJ* psoDest, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                                    COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG,
                                                    BRUSHOBJ*, DWORD) {
  return Draw(psoDest);
}

__declspec(dllexport) BOOL APIENTRY EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                             COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*, POINTL*, ULONG) {
  return Draw(psoTrg);
}

__declspec(dllexport) BOOL APIENTRY EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*,
                                                 BLENDOBJ*) {
  return Draw(psoDest);
}

__declspec(dllexport) BOOL APIENTRY EngGradientFill(SURFOBJ* psoDest, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID,
                                                   ULONG, RECTL*, POINTL*, ULONG) {
  return Draw(psoDest);
}

__declspec(dllexport) BOOL APIENTRY EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*,
                                                     ULONG, ULONG) {
  return Draw(psoDst);
}

__declspec(dllexport) BOOL APIENTRY EngTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                              BRUSHOBJ*, POINTL*, MIX) {
  return Draw(pso);
}

}  // extern "C"
