// gdiplay's part of GDI for a driver that hooks its surface: each EMF record of a page is played
// into the surface's DC; a record that draws becomes the driver's hooked call (DrvStrokePath,
// DrvTextOut, DrvBitBlt, ...) with the engine's objects made from the DC's state, and the Eng
// twin the driver calls back draws that record with Wine's GDI. A record without a hooked call
// (or one gdiplay does not translate) is drawn straight into the surface, as GDI draws a call the
// driver does not hook.
#pragma once
#include <windows.h>
#include <winddi.h>

// The record being played, for the Eng twins and for the objects that need the DC.
struct PlayContext {
  HDC Dc;  // the surface's bitmap is selected into it
  HANDLETABLE* Table;
  const ENHMETARECORD* Record;
  int Handles;
  bool Drawn;  // an Eng twin (or gdiplay itself) has drawn the record
  SURFOBJ* Surface;
  FLONG Hooks;
  const DRVENABLEDATA* Driver;
  HDC Scratch;  // a DC of the same state where the record's path is made
  bool PathOpen;  // between BeginPath and EndPath: records add to the path and draw nothing
  int Page, Index;
  ULONG Calls;     // hooked calls made on this page
  ULONG Failures;  // hooked calls that returned FALSE
};

PlayContext* CurrentPlay();
// The driver's entry of that index, or null.
PFN DriverFunction(ULONG index);
// The current record drawn into the surface once, whoever asks first (the Eng twins).
bool DrawCurrentRecord(SURFOBJ* pso);
// The current record played for its effect on the DC's state alone, nothing drawn (a hooked call
// whose driver did not call the Eng twin leaves the bitmap as the driver wants it).
void ApplyCurrentRecordState();

// Counts a hooked call and says on stderr which one failed; then, when no Eng twin drew the
// record, plays it for its state alone.
void FinishCall(PlayContext& play, BOOL result, const char* name);

// One record drawn as GDI draws it for a driver that does not hook the call (straight_records.cpp).
BOOL PlayRecordStraight(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles);

// Plays every record of `page` into `dc` (the surface's bitmap selected), scaled to the surface.
bool PlayRecords(HDC dc, SURFOBJ* surface, FLONG hooks, const DRVENABLEDATA* driver, HENHMETAFILE page, int number);

// The translators, one file each: true when the record was handled (called or skipped as GDI
// would), false to draw it straight in.
bool PlayShapeRecord(PlayContext& play);
bool PlayBlitRecord(PlayContext& play);
bool PlayTextRecord(PlayContext& play);
bool PlayImageRecord(PlayContext& play);

// A logical rectangle (origin and size) in device pixels as GDI maps it, well ordered; false when
// the transform turns or mirrors it or nothing is left.
bool DeviceRect(HDC dc, LONG x, LONG y, LONG cx, LONG cy, RECTL& out);
