// Ids of the program's window resources: icons, dialog templates and controls. The texts' ids
// are named in the text table (resources/TextIds.h).
#pragma once

#define IDI_APP 100
#define IDI_EXTRACT 101
#define IDI_WRITE_BACK 102
#define IDI_SEARCH 103

#define IDD_MAIN 200
#define IDD_EXTRACT 201
#define IDD_WRITE_BACK 202
#define IDD_SEARCH 203

#define IDC_STATIC (-1)
#define IDC_PATH 300
#define IDC_MIN_CHARS 301
#define IDC_MIN_CHARS_SPIN 302
#define IDC_BROWSE 303
#define IDC_UNICODE_MODE 304
#define IDC_ASK_EACH 305
#define IDC_TERMINATOR 306
#define IDC_TABS 307
#define IDC_ABOUT 308
#define IDC_RECURSIVE 310
#define IDC_TITLE 312
#define IDC_NO_LENGTH_CHECK 313
#define IDC_FIND 314
#define IDC_REPLACEMENT 315
#define IDC_LOG 316
#define IDC_LENGTH_PREFIXED 399
#define IDC_ENGLISH_ONLY 400
