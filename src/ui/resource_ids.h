#pragma once
// Resource numbers shared by the program's resource script and its code.
// Plain defines only: the resource compiler reads this file too.

// The Command button's six state pictures, in ButtonPicture order.
#define IDB_BUTTON_SELECTED 201
#define IDB_BUTTON_HIGHLIGHTSELECT 202
#define IDB_BUTTON_DISABLE 203
#define IDB_BUTTON_NORMAL 204
#define IDB_BUTTON_PRESSED 205
#define IDB_BUTTON_HIGHLIGHT 206

// The main window's tab pictures (one per tab) and its plain picture. Each is
// stored once for every size it is shown in: the picture of N pixels square
// is resource N * 1000 + its number (16211 is tab picture 0 at 16 pixels).
#define IDB_TAB_PICTURE_0 211
#define IDB_TAB_PICTURE_1 212
#define IDB_TAB_PICTURE_2 213
#define IDB_PLAIN_PICTURE 214

// Stored window layouts.
#define IDR_LAYOUT_MAIN 301
#define IDR_LAYOUT_DISPLAY 302
