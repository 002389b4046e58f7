// Pages of text: several faces and scripts, text laid out the ways applications lay it out
// (rotated, justified with their own advances, on opaque backgrounds), a bitmap font and a font
// whose tables lie.
#include "sample_drawing.h"

#include <wchar.h>

const wchar_t* const LyingFontFace = L"Quill Lying Sans";

namespace {

// Text in a font of its own with the given weight and slant; `escapement` in tenths of a degree.
void FaceText(HDC dc, int x, int y, int height, int weight, bool italic, const wchar_t* face, COLORREF colour,
              const wchar_t* text, int escapement = 0) {
  HFONT font = MakeFont(height, weight, face, italic, escapement);
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
  NoteText(text);
  SelectObject(dc, old);
  DeleteObject(font);
}

// One line spread over `width` units with advances of the application's own (ExtTextOut's lpDx):
// the space left over is shared out between the word gaps, as a word processor justifies. The
// advances are measured with `font` in a memory DC whose pixels are the page's units (a
// metafile DC answers in its reference device's pixels).
void JustifiedLine(HDC dc, HFONT font, int x, int y, int width, const wchar_t* text) {
  int count = static_cast<int>(wcslen(text));
  std::vector<INT> dx(count);
  std::vector<INT> fits(count);
  SIZE extent = {};
  int fit = 0;
  HDC measure = CreateCompatibleDC(nullptr);
  HGDIOBJ oldFont = SelectObject(measure, font);
  GetTextExtentExPointW(measure, text, count, 0, &fit, fits.data(), &extent);
  SelectObject(measure, oldFont);
  DeleteDC(measure);
  int gaps = 0;
  for (int i = 0; i < count; ++i) gaps += text[i] == L' ';
  int spare = width - extent.cx, given = 0, gap = 0;
  for (int i = 0; i < count; ++i) {
    dx[i] = fits[i] - (i ? fits[i - 1] : 0);
    if (text[i] == L' ' && gaps > 0 && spare > 0) {
      ++gap;
      int share = spare * gap / gaps - given;
      dx[i] += share;
      given += share;
    }
  }
  ExtTextOutW(dc, x, y, 0, nullptr, text, count, dx.data());
  NoteText(text);
}

}  // namespace

void DrawScriptsPage(HDC dc, LONG width, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Faces and scripts, sheet %d", number);
  FaceText(dc, margin, 150, 60, FW_BOLD, false, L"Liberation Sans", RGB(0, 0, 0), heading);
  static const struct {
    const wchar_t* Face;
    int Weight;
    bool Italic;
    const wchar_t* Text;
  } lines[] = {
      {L"Liberation Sans", FW_NORMAL, false, L"Liberation Sans: The quick brown fox jumps over the lazy dog."},
      {L"Liberation Sans", FW_BOLD, false, L"Liberation Sans Bold: Sphinx of black quartz, judge my vow."},
      {L"Liberation Serif", FW_NORMAL, false, L"Liberation Serif: Pack my box with five dozen liquor jugs."},
      {L"Liberation Serif", FW_NORMAL, true, L"Liberation Serif Italic: How vexingly quick daft zebras jump."},
      {L"Liberation Mono", FW_NORMAL, false, L"Liberation Mono: printf(\"%d items\", count);"},
      {L"DejaVu Sans", FW_NORMAL, false, L"DejaVu Sans: Zürich, Ærøskøbing, Łódź, façade, naïve."},
      {L"DejaVu Serif", FW_NORMAL, true, L"DejaVu Serif slanted by the engine: Bright vixens jump."},
      {L"DejaVu Sans Mono", FW_BOLD, false, L"DejaVu Sans Mono Bold: 0O 1lI {}[]()"},
      {L"Liberation Serif", FW_NORMAL, false, L"Greek: Η γρήγορη καφέ αλεπού πηδάει πάνω από τον σκύλο."},
      {L"DejaVu Sans", FW_NORMAL, false, L"Cyrillic: Съешь же ещё этих мягких французских булок."},
      {L"Noto Sans CJK JP", FW_NORMAL, false, L"Japanese: 日本語の文章を印刷します。"},
      {L"Noto Sans CJK SC", FW_NORMAL, false, L"Chinese: 这是一份打印的文件。"},
      {L"Noto Serif CJK JP", FW_NORMAL, false, L"Serif CJK: 東京 大阪 名古屋"},
  };
  int y = 300;
  for (const auto& line : lines) {
    FaceText(dc, margin, y, 42, line.Weight, line.Italic, line.Face, RGB(0, 0, 0), line.Text);
    y += 80;
  }
  // Sizes from footnote to poster, and colours.
  static const int sizes[] = {20, 28, 40, 60, 90, 140};
  static const COLORREF colours[] = {RGB(0, 0, 0), RGB(180, 0, 0), RGB(0, 120, 0), RGB(0, 60, 200), RGB(120, 0, 140),
                                     RGB(200, 120, 0)};
  for (int i = 0; i < 6; ++i) {
    wchar_t text[40];
    swprintf(text, 40, L"Size %d", sizes[i]);
    FaceText(dc, margin, y, sizes[i], FW_NORMAL, false, L"Liberation Sans", colours[i], text);
    y += sizes[i] + 30;
  }
  (void)width;
}

void DrawTextLayoutPage(HDC dc, LONG width, LONG height, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Text layout, sheet %d", number);
  FaceText(dc, margin, 150, 60, FW_BOLD, false, L"Liberation Sans", RGB(0, 0, 0), heading);
  // Justified paragraph: every line but the last spread to the full measure.
  static const wchar_t* const paragraph[] = {
      L"Justified lines carry the advances of the application,",
      L"which spreads each line to the measure by widening",
      L"the gaps between its words, as a word processor does",
      L"for the body of a letter or a contract.",
  };
  HFONT serif = MakeFont(38, FW_NORMAL, L"Liberation Serif");
  HGDIOBJ old = SelectObject(dc, serif);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  int y = 280;
  for (int i = 0; i < 4; ++i, y += 52) {
    if (i < 3)
      JustifiedLine(dc, serif, margin, y, 900, paragraph[i]);
    else
      JustifiedLine(dc, serif, margin, y, 0, paragraph[i]);
  }
  // Opaque text: ETO_OPAQUE with a rectangle of its own, and a background from SetBkMode.
  y += 60;
  RECT band = {margin - 10, y - 10, margin + 1200, y + 60};
  SetBkColor(dc, RGB(255, 240, 150));
  const wchar_t* opaque = L"Opaque text on a yellow band drawn by ExtTextOut.";
  ExtTextOutW(dc, margin, y, ETO_OPAQUE, &band, opaque, static_cast<int>(wcslen(opaque)), nullptr);
  NoteText(opaque);
  y += 100;
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(30, 30, 90));
  SetTextColor(dc, RGB(255, 255, 255));
  const wchar_t* reversed = L"White on dark blue behind each letter.";
  TextOutW(dc, margin, y, reversed, static_cast<int>(wcslen(reversed)));
  NoteText(reversed);
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, old);
  DeleteObject(serif);
  // Condensed and widened text (the font's width), then rotated text about one corner.
  y += 110;
  HFONT narrow = MakeFont(44, FW_NORMAL, L"Liberation Sans", false, 0, 15);
  HFONT wide = MakeFont(44, FW_NORMAL, L"Liberation Sans", false, 0, 40);
  old = SelectObject(dc, narrow);
  SetTextColor(dc, RGB(0, 90, 0));
  TextOutW(dc, margin, y, L"Condensed letters", 17);
  NoteText(L"Condensed letters");
  SelectObject(dc, wide);
  TextOutW(dc, margin + 700, y, L"Wide letters", 12);
  NoteText(L"Wide letters");
  SelectObject(dc, old);
  DeleteObject(narrow);
  DeleteObject(wide);
  static const struct {
    int Angle, X, Y;
    const wchar_t* Text;
  } turned[] = {{900, -700, 300, L"Upwards ninety"}, {450, -500, 300, L"Rising forty-five"},
                {-300, 100, -350, L"Falling thirty"}, {1800, 700, 420, L"Upside down"}};
  int cx = width / 2, cy = height * 2 / 3;
  for (const auto& t : turned)
    FaceText(dc, cx + t.X, cy + t.Y, 50, FW_NORMAL, false, L"Liberation Serif", RGB(150, 0, 0), t.Text, t.Angle);
  FaceText(dc, margin, height - 250, 40, FW_NORMAL, false, L"DejaVu Sans", RGB(0, 0, 0),
           L"The lines above are turned about their start.");
}

void DrawBitmapFontPage(HDC dc, LONG, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Bitmap fonts, sheet %d", number);
  FaceText(dc, margin, 150, 60, FW_BOLD, false, L"Liberation Sans", RGB(0, 0, 0), heading);
  // Faces of Wine's own raster fonts (.fon files in the Windows fonts folder).
  static const wchar_t* const faces[] = {L"MS Sans Serif", L"Courier", L"System"};
  int y = 300;
  for (const wchar_t* face : faces) {
    LOGFONTW lf = {};
    lf.lfHeight = -40;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_RASTER_PRECIS;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    wchar_t text[80];
    swprintf(text, 80, L"Raster face %ls prints these letters", face);
    TextOutW(dc, margin, y, text, static_cast<int>(wcslen(text)));
    NoteText(text);
    SelectObject(dc, old);
    DeleteObject(font);
    y += 120;
  }
}

void DrawLyingFontPage(HDC dc, LONG, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"A font whose tables lie, sheet %d", number);
  FaceText(dc, margin, 150, 60, FW_BOLD, false, L"Liberation Sans", RGB(0, 0, 0), heading);
  static const wchar_t* const lines[] = {
      L"Every glyph of this line comes from the broken font.",
      L"ABCDEFGHIJKLM NOPQRSTUVWXYZ abcdefghijklm nopqrstuvwxyz",
      L"Umlauts: Äpfel, Öl, Übermut; Quarz and Quelle.",
      L"0123456789 and punctuation: (brackets), commas, full stops.",
  };
  int y = 300;
  for (const wchar_t* line : lines) {
    FaceText(dc, margin, y, 48, FW_NORMAL, false, LyingFontFace, RGB(0, 0, 120), line);
    y += 90;
  }
  FaceText(dc, margin, y + 60, 40, FW_NORMAL, false, L"Liberation Serif", RGB(0, 0, 0),
           L"This line is set in an honest font.");
}
