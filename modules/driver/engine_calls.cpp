#include "engine_calls.h"

namespace {

// One function from gdi32 (already loaded in every process that prints), else from the executable.
FARPROC FindEngineFunction(const char* name) {
  HMODULE gdi = GetModuleHandleW(L"gdi32.dll");
  FARPROC found = gdi ? GetProcAddress(gdi, name) : nullptr;
  if (!found) found = GetProcAddress(GetModuleHandleW(nullptr), name);
  return found;
}

template <typename Function>
bool Find(Function& target, const char* name) {
  target = reinterpret_cast<Function>(reinterpret_cast<void*>(FindEngineFunction(name)));
  return target != nullptr;
}

}  // namespace

bool ResolveEngineCalls(EngineCalls& calls) {
  bool found = Find(calls.CreateBitmap, "EngCreateBitmap");
  found = Find(calls.AssociateSurface, "EngAssociateSurface") && found;
  found = Find(calls.DeleteSurface, "EngDeleteSurface") && found;
  found = Find(calls.CreatePalette, "EngCreatePalette") && found;
  found = Find(calls.DeletePalette, "EngDeletePalette") && found;
  found = Find(calls.WritePrinter, "EngWritePrinter") && found;

  bool draw = Find(calls.EngTextOut, "EngTextOut");
  draw = Find(calls.EngStrokePath, "EngStrokePath") && draw;
  draw = Find(calls.EngFillPath, "EngFillPath") && draw;
  draw = Find(calls.EngStrokeAndFillPath, "EngStrokeAndFillPath") && draw;
  draw = Find(calls.EngLineTo, "EngLineTo") && draw;
  draw = Find(calls.EngBitBlt, "EngBitBlt") && draw;
  draw = Find(calls.EngCopyBits, "EngCopyBits") && draw;
  draw = Find(calls.EngStretchBlt, "EngStretchBlt") && draw;
  draw = Find(calls.EngStretchBltROP, "EngStretchBltROP") && draw;
  draw = Find(calls.EngPlgBlt, "EngPlgBlt") && draw;
  draw = Find(calls.EngAlphaBlend, "EngAlphaBlend") && draw;
  draw = Find(calls.EngGradientFill, "EngGradientFill") && draw;
  draw = Find(calls.EngTransparentBlt, "EngTransparentBlt") && draw;
  draw = Find(calls.PATHOBJ_bEnum, "PATHOBJ_bEnum") && draw;
  draw = Find(calls.PATHOBJ_vEnumStart, "PATHOBJ_vEnumStart") && draw;
  draw = Find(calls.CLIPOBJ_cEnumStart, "CLIPOBJ_cEnumStart") && draw;
  draw = Find(calls.CLIPOBJ_bEnum, "CLIPOBJ_bEnum") && draw;
  draw = Find(calls.XLATEOBJ_iXlate, "XLATEOBJ_iXlate") && draw;
  draw = Find(calls.BRUSHOBJ_ulGetBrushColor, "BRUSHOBJ_ulGetBrushColor") && draw;
  draw = Find(calls.XFORMOBJ_iGetXform, "XFORMOBJ_iGetXform") && draw;
  calls.CanDraw = draw;

  Find(calls.STROBJ_vEnumStart, "STROBJ_vEnumStart");
  Find(calls.STROBJ_bEnum, "STROBJ_bEnum");
  Find(calls.STROBJ_bEnumPositionsOnly, "STROBJ_bEnumPositionsOnly");
  Find(calls.STROBJ_bGetAdvanceWidths, "STROBJ_bGetAdvanceWidths");
  Find(calls.FONTOBJ_cGetGlyphs, "FONTOBJ_cGetGlyphs");
  Find(calls.FONTOBJ_pifi, "FONTOBJ_pifi");
  Find(calls.FONTOBJ_pjOpenTypeTablePointer, "FONTOBJ_pjOpenTypeTablePointer");
  Find(calls.FONTOBJ_pvTrueTypeFontFile, "FONTOBJ_pvTrueTypeFontFile");
  Find(calls.FONTOBJ_pxoGetXform, "FONTOBJ_pxoGetXform");
  Find(calls.FONTOBJ_vGetInfo, "FONTOBJ_vGetInfo");
  Find(calls.EngCheckAbort, "EngCheckAbort");

  if (!found) SetLastError(ERROR_PROC_NOT_FOUND);
  return found;
}
