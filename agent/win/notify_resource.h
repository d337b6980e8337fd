// Resource identifiers of the pharming toast and the alert box.
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
