// Identifiers shared by kdll.rc and the code of the panel. Plain numbers only, so that
// both the C++ compiler and the resource compiler's preprocessor can read this file.
#pragma once

// The panel: a child dialog without caption.
#define IDD_DOWNLOADER 101

// Controls of the panel. The "&Download" button has the same number as IDOK (1): as the
// default push button it is also what Enter in the panel presses.
#define IDC_DOWNLOAD 1
#define IDC_STATUS_TEXT 1001
#define IDC_FILE_NAME 1002
#define IDC_OPEN_FILE 1004
#define IDC_INFO_LIST 1006
#define IDC_STATE_PICTURE 1017

// Pictures of the state picture button, 193 x 66 pixels.
#define IDB_WAIT 103
#define IDB_OK 104
#define IDB_NG 106
#define IDB_LOGO 108

// The image of the open-file button.
#define IDI_OPEN_FOLDER 109

// Row-state images of the information list, appended to its image list as images 0 to 3
// in the order idle, passed, failed, in progress (not in the order of their numbers).
#define IDI_ROW_IDLE 111
#define IDI_ROW_IN_PROGRESS 112
#define IDI_ROW_FAILED 113
#define IDI_ROW_PASSED 114
