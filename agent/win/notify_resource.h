// Resource identifiers and layouts of the pharming toast and the alert box.
#pragma once

#define IDD_NOTIFY 130
#define IDB_NOTIFY_BANNER 146
#define IDB_NOTIFY_REFUSAL 147
#define IDB_NOTIFY_NORMAL 148
#define IDB_ALERT_PICTURE 150
#define IDD_SECURE_ALERT 151

// Toast controls (1 "연결하기" and 2 "확인" are the dialog's OK and Cancel).
#define IDC_NOTIFY_BANNER 1001
#define IDC_NOTIFY_LINE2 1002
#define IDC_NOTIFY_REFUSAL_ICON 1003
#define IDC_NOTIFY_NORMAL_ICON 1004
#define IDC_NOTIFY_LINE1 1005

// Alert box controls (1 "예" and 2 "아니오").
#define IDC_ALERT_PICTURE 1000
#define IDC_ALERT_TEXT 1008

// The layouts in dialog units: each control's "x, y, width, height" (a picture's
// size is its bitmap's), as notify.rc lays the dialogs out and the tests expect them.
#define NOTIFY_SIZE 83, 97
#define NOTIFY_OK_RECT 4, 75, 37, 14
#define NOTIFY_CONNECT_RECT 42, 74, 37, 14
#define NOTIFY_BANNER_RECT 0, 0, 83, 24
#define NOTIFY_LINE1_RECT 2, 26, 79, 8
#define NOTIFY_ICON_RECT 6, 39, 17, 22  // the normal and the refusal icon, in the same place
#define NOTIFY_LINE2_RECT 29, 40, 48, 24

#define ALERT_SIZE 334, 123
#define ALERT_YES_RECT 211, 100, 50, 14
#define ALERT_NO_RECT 263, 100, 50, 14
#define ALERT_PICTURE_RECT 0, 0, 333, 93
#define ALERT_TEXT_RECT 86, 35, 227, 50
