// Resource identifiers of the configuration module (vtxui.rc): its two property pages and the
// string table every text shown or returned comes from.
#pragma once

// Printing preferences (the document page).
#define IDD_DOCUMENT_PAGE 101
#define IDC_PAPER 1001
#define IDC_PORTRAIT 1002
#define IDC_LANDSCAPE 1003
#define IDC_PAGE_PICTURE 1004
#define IDC_RESOLUTION 1005
#define IDC_COLOUR 1006
#define IDC_GREY 1007
#define IDC_COPIES 1008
#define IDC_PAGE_DOCUMENT 1009     // text and graphics as document content
#define IDC_PAGE_IMAGE 1010        // each page as an image

// The printer page (device settings).
#define IDD_DEVICE_PAGE 102
#define IDC_DRIVER_VERSION 1101
#define IDC_OUTPUT_FOLDER 1102
#define IDC_APPLICATION 1103
#define IDC_OPEN_HELP 1104

#define IDS_DOCUMENT_TITLE 201
#define IDS_PAPER_ITEM 202         // paper name, width and height in millimetres
#define IDS_RESOLUTION_ITEM 203    // dots per inch
#define IDS_DRIVER_VERSION 204     // file version, product version
#define IDS_NO_APPLICATION 205
#define IDS_BIN_AUTO 206           // the one paper source, as DC_BINNAMES reports it
#define IDS_MEDIA_STANDARD 207     // the one media type, as DC_MEDIATYPENAMES reports it
#define IDS_HELP_MISSING 208
#define IDS_HELP_FILE 209          // the help file's name, beside the module
#define IDS_HELP_TOPIC 210         // the page on these settings inside it
