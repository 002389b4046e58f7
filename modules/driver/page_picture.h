// The page as one picture ("Each page as an image"): the engine-drawn bitmap of the page as one
// Flate image, in colour or grey, with the white rows above and below the drawing left out.
#pragma once
#include <windows.h>

#include "job_settings.h"
#include "page_send.h"
#include "pdf_document.h"

// Writes the page: its image (none for a blank page) placed at the page's resolution from its
// top-left corner, on a page of the paper's size in points.
bool PdfWritePagePicture(PdfDocument& document, const PageGeometry& page, const PdfPagePixels& pixels);
