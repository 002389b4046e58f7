// The graphics engine's functions that the driver calls, found at run time. Windows' gdi32 exports
// them to user-mode printer drivers; a host that plays the engine's part itself (the test bed's
// gdiplay) exports them from its own executable. Wine's gdi32 has none of them, so a static import
// would keep the DLL from loading at all: resolving them here lets it load anywhere and refuse
// only the device. Unit tests fill the same table with functions of their own.
#pragma once
#include <windows.h>
#include <winddi.h>

struct EngineCalls {
  // The surface and the document: every host must have these.
  HBITMAP(APIENTRY* CreateBitmap)(SIZEL, LONG, ULONG, FLONG, PVOID);
  BOOL(APIENTRY* AssociateSurface)(HSURF, HDEV, FLONG);
  BOOL(APIENTRY* DeleteSurface)(HSURF);
  HPALETTE(APIENTRY* CreatePalette)(ULONG, ULONG, ULONG*, FLONG, FLONG, FLONG);
  BOOL(APIENTRY* DeletePalette)(HPALETTE);
  BOOL(APIENTRY* WritePrinter)(HANDLE, LPVOID, DWORD, LPDWORD);

  // The drawing calls' Eng twins, which draw each hooked call into the page's bitmap.
  BOOL(APIENTRY* EngTextOut)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX);
  BOOL(APIENTRY* EngStrokePath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
  BOOL(APIENTRY* EngFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
  BOOL(APIENTRY* EngStrokeAndFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*, POINTL*,
                                    MIX, FLONG);
  BOOL(APIENTRY* EngLineTo)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
  BOOL(APIENTRY* EngBitBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                         POINTL*, ROP4);
  BOOL(APIENTRY* EngCopyBits)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
  BOOL(APIENTRY* EngStretchBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*,
                             RECTL*, POINTL*, ULONG);
  BOOL(APIENTRY* EngStretchBltROP)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*,
                                RECTL*, POINTL*, ULONG, BRUSHOBJ*, DWORD);
  BOOL(APIENTRY* EngPlgBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*,
                         RECTL*, POINTL*, ULONG);
  BOOL(APIENTRY* EngAlphaBlend)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*);
  BOOL(APIENTRY* EngGradientFill)(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG);
  BOOL(APIENTRY* EngTransparentBlt)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG);

  // The objects the drawing calls hand over.
  BOOL(APIENTRY* PATHOBJ_bEnum)(PATHOBJ*, PATHDATA*);
  VOID(APIENTRY* PATHOBJ_vEnumStart)(PATHOBJ*);
  ULONG(APIENTRY* CLIPOBJ_cEnumStart)(CLIPOBJ*, BOOL, ULONG, ULONG, ULONG);
  BOOL(APIENTRY* CLIPOBJ_bEnum)(CLIPOBJ*, ULONG, ULONG*);
  ULONG(APIENTRY* XLATEOBJ_iXlate)(XLATEOBJ*, ULONG);
  ULONG(APIENTRY* BRUSHOBJ_ulGetBrushColor)(BRUSHOBJ*);
  ULONG(APIENTRY* XFORMOBJ_iGetXform)(XFORMOBJ*, XFORML*);

  // Text (null where the host has none; the text code falls back to a raster patch).
  VOID(APIENTRY* STROBJ_vEnumStart)(STROBJ*);
  BOOL(APIENTRY* STROBJ_bEnum)(STROBJ*, ULONG*, PGLYPHPOS*);
  BOOL(APIENTRY* STROBJ_bEnumPositionsOnly)(STROBJ*, ULONG*, PGLYPHPOS*);
  BOOL(APIENTRY* STROBJ_bGetAdvanceWidths)(STROBJ*, ULONG, ULONG, POINTQF*);
  ULONG(APIENTRY* FONTOBJ_cGetGlyphs)(FONTOBJ*, ULONG, ULONG, HGLYPH*, PVOID*);
  IFIMETRICS*(APIENTRY* FONTOBJ_pifi)(FONTOBJ*);
  PBYTE(APIENTRY* FONTOBJ_pjOpenTypeTablePointer)(FONTOBJ*, ULONG, ULONG*);
  PVOID(APIENTRY* FONTOBJ_pvTrueTypeFontFile)(FONTOBJ*, ULONG*);
  XFORMOBJ*(APIENTRY* FONTOBJ_pxoGetXform)(FONTOBJ*);
  VOID(APIENTRY* FONTOBJ_vGetInfo)(FONTOBJ*, ULONG, FONTINFO*);

  BOOL(APIENTRY* EngCheckAbort)(SURFOBJ*);  // null where the host has none

  // True when every drawing twin and object function above (not the text ones) was found: only then
  // may the surface hook drawing calls.
  bool CanDraw;
};

// True when the surface and document functions were found, in gdi32 or else in the host's
// executable (otherwise the last error is ERROR_PROC_NOT_FOUND); the others are looked up too and
// CanDraw says whether drawing calls can be hooked.
bool ResolveEngineCalls(EngineCalls& calls);
