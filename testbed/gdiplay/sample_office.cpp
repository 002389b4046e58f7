// A page of an office report, as a word processor prints it: a heading, about forty lines of body
// text, a ruled table of figures and, on every third page, a photograph.
#include "sample_drawing.h"

#include <wchar.h>

namespace {

const wchar_t* const words[] = {
    L"the", L"quarter", L"revenue", L"rose", L"against", L"plan", L"while", L"costs", L"stayed", L"level",
    L"and", L"orders", L"from", L"new", L"customers", L"grew", L"in", L"every", L"region", L"we",
    L"expect", L"the", L"second", L"half", L"to", L"follow", L"suit", L"because", L"demand", L"for",
    L"printed", L"documents", L"remains", L"strong", L"across", L"offices", L"schools", L"and", L"clinics",
    L"our", L"teams", L"shipped", L"three", L"releases", L"with", L"fewer", L"faults", L"than", L"before",
    L"margins", L"improved", L"slightly", L"as", L"freight", L"prices", L"eased", L"during", L"autumn",
};
const int wordCount = sizeof(words) / sizeof(words[0]);

// Line `index` of page `number`: words picked by a fixed rule, about ninety characters long.
void BodyLine(int number, int index, wchar_t* line, size_t capacity) {
  line[0] = L'\0';
  unsigned pick = static_cast<unsigned>(number * 7919 + index * 104729);
  size_t length = 0;
  while (length < 86) {
    pick = pick * 1103515245u + 12345u;
    const wchar_t* word = words[(pick >> 16) % wordCount];
    size_t add = wcslen(word) + (length ? 1 : 0);
    if (length + add + 1 >= capacity) break;
    if (length) line[length++] = L' ';
    wcscpy(line + length, word);
    length += wcslen(word);
  }
  line[0] = towupper(line[0]);
  if (length + 1 < capacity) {
    line[length] = L'.';
    line[length + 1] = L'\0';
  }
}

void RuledTable(HDC dc, int left, int top, int right, int number) {
  static const wchar_t* const heads[] = {L"Region", L"Q1", L"Q2", L"Q3", L"Q4"};
  static const wchar_t* const regions[] = {L"North", L"South", L"East", L"West", L"Central"};
  const int rows = 6, columns = 5, rowHeight = 55;
  int columnWidth = (right - left) / columns;
  FillSolid(dc, left, top, right, top + rowHeight, RGB(220, 226, 240));  // the heading row's shading
  HFONT font = MakeFont(32, FW_NORMAL, L"Liberation Sans");
  HFONT bold = MakeFont(32, FW_BOLD, L"Liberation Sans");
  HGDIOBJ old = SelectObject(dc, bold);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  for (int row = 0; row < rows; ++row) {
    if (row == 1) SelectObject(dc, font);
    int y = top + row * rowHeight + 10;
    for (int column = 0; column < columns; ++column) {
      wchar_t cell[32];
      if (row == 0)
        wcscpy(cell, heads[column]);
      else if (column == 0)
        wcscpy(cell, regions[row - 1]);
      else
        swprintf(cell, 32, L"%d.%d", 100 + (row * 37 + column * 53 + number * 11) % 900, (row + column) % 10);
      // Figures right-aligned in their column, as spreadsheets print them.
      if (column == 0) {
        SetTextAlign(dc, TA_LEFT | TA_TOP);
        TextOutW(dc, left + 15, y, cell, static_cast<int>(wcslen(cell)));
      } else {
        SetTextAlign(dc, TA_RIGHT | TA_TOP);
        TextOutW(dc, left + (column + 1) * columnWidth - 15, y, cell, static_cast<int>(wcslen(cell)));
      }
      NoteText(cell);
    }
  }
  SetTextAlign(dc, TA_LEFT | TA_TOP);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteObject(bold);
  // The rules: a frame, a line under every row, one between the columns.
  for (int row = 0; row <= rows; ++row)
    Line(dc, left, top + row * rowHeight, right, top + row * rowHeight, row == 1 ? 4 : 2, RGB(0, 0, 0));
  for (int column = 0; column <= columns; ++column)
    Line(dc, left + column * columnWidth, top, left + column * columnWidth, top + rows * rowHeight, 2, RGB(0, 0, 0));
}

}  // namespace

void DrawOfficePage(HDC dc, LONG width, LONG height, int number) {
  const int margin = 200;
  wchar_t line[160];
  swprintf(line, 160, L"Annual report 2026, section %d", number);
  Text(dc, margin, 150, 64, FW_BOLD, L"Liberation Sans", RGB(20, 40, 120), line);
  Line(dc, margin, 240, width - margin, 240, 6, RGB(20, 40, 120));
  bool photo = number % 3 == 0;
  int lines = photo ? 28 : 40, y = 280;
  for (int i = 0; i < lines; ++i, y += 44) {
    BodyLine(number, i, line, 160);
    Text(dc, margin, y, 34, FW_NORMAL, L"Liberation Serif", RGB(0, 0, 0), line);
  }
  y += 40;
  if (photo) {
    Photo(dc, margin, y, 840, 560, number);
    Text(dc, margin + 880, y + 500, 30, FW_NORMAL, L"Liberation Sans", RGB(90, 90, 90), L"Figure: the site in spring.");
    y += 620;
  }
  RuledTable(dc, margin, y, width - margin, number);
  swprintf(line, 160, L"Page %d of 10", number);
  Text(dc, width / 2 - 90, height - 150, 30, FW_NORMAL, L"Liberation Sans", RGB(90, 90, 90), line);
}
