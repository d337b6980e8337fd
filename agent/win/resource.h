// Resource identifiers of the agent.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QVTESSALKESTRA_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_MAIN_TEXT 1000
#define IDM_ABOUTBOX 0x0010
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
