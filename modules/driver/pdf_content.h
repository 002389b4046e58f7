// The graphics state of a page's content: colours (said as grey in a grey job, converted as the
// picture of a page is), the clip of a call in a q/Q scope, the pen of a stroke.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"
#include "page_recording.h"

// A colour of this device's palette (PAL_BGR: blue in the low byte, 0x00RRGGBB).
inline BYTE RedOf(ULONG colour) { return static_cast<BYTE>(colour >> 16); }
inline BYTE GreenOf(ULONG colour) { return static_cast<BYTE>(colour >> 8); }
inline BYTE BlueOf(ULONG colour) { return static_cast<BYTE>(colour); }
// The grey of a colour with the luma weights the picture of a page uses (white stays 255).
inline BYTE GreyOf(BYTE red, BYTE green, BYTE blue) {
  return static_cast<BYTE>((red * 77 + green * 150 + blue * 29 + 128) >> 8);
}

// "r g b rg" / "r g b RG", or "v g" / "v G" in a grey job; nothing when already set.
void ContentSetFillColour(PageRecording& page, ULONG colour);
void ContentSetStrokeColour(PageRecording& page, ULONG colour);

// The clip of a call: nothing for a trivial clip, else "q" and the clip as a path of rectangles
// ("... re W n"). False (and nothing written) when the clip cannot be enumerated or has more
// rectangles than a content should carry: the call is then a patch. Every true is followed by one
// ContentEndClip, which writes the "Q" when there was a "q".
// ContentSave and ContentRestore are a plain q/Q pair (for a `cm` of one call).
bool ContentBeginClip(PageRecording& page, const EngineCalls& engine, CLIPOBJ* clip);
void ContentEndClip(PageRecording& page);
void ContentSave(PageRecording& page);
void ContentRestore(PageRecording& page);
