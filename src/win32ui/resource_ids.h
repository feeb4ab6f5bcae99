// Ids of the Windows window's resources and controls, shared by resources.rc and the C++ code:
// plain macros, because the resource compiler reads only the preprocessor's language.
#pragma once

// Templates, menus, tables and pictures.
#define IDD_MAIN_WINDOW 102
#define IDD_PORT_SETUP 129
#define IDD_LOG_WINDOW 130
#define IDR_LOG_MENU 131
#define IDB_BACKGROUND 147
#define IDR_MAIN_ACCELERATORS 148
#define IDI_PROGRAM 152
#define IDD_ABOUT 153
#define IDD_COMPLETION_PROMPT 203

// The main window's controls.
#define IDC_PATH_BOX 1006
#define IDC_PROGRESS 1007
#define IDC_WEB_LINK_AREA 1009
#define IDC_STATUS_LINE 1010
#define IDC_START 1011
#define IDC_OPEN 1012
#define IDC_EXIT 1013
#define IDC_FORCED_BOOTLOADER 1017
#define IDC_DOWNGRADE 1020
#define IDC_PORTSETUP 1021

// The port setup dialog's lists.
#define IDC_PORT_LIST 1001
#define IDC_BAUD_LIST 1002

// The log window's text.
#define IDC_LOG_TEXT 1002

// The about box's lines.
#define IDC_ABOUT_VERSION 1015
#define IDC_ABOUT_COPYRIGHT 1016

// The item the main window adds to its system menu.
#define IDM_ABOUT 16

// Commands of the main window's accelerators: the development key sequence in its order, the
// segment dump switch (Ctrl+Shift+T) and the log window switch (Ctrl+Shift+D).
#define ID_DEV_SEQUENCE_1 32772
#define ID_DEV_SEQUENCE_2 32773
#define ID_DEV_SEQUENCE_3 32774
#define ID_DEV_SEQUENCE_4 32775
#define ID_DUMP_TOGGLE 57603
#define ID_LOG_WINDOW_TOGGLE 32777

// The log window's menu.
#define ID_LOG_CLEAN 32771
#define ID_LOG_EXIT 32779

// Controls without an id of their own.
#define IDC_UNNAMED (-1)
