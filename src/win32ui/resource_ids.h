// Ids of the Windows window's resources and controls, shared by resources.rc and the C++ code:
// plain macros, because the resource compiler reads only the preprocessor's language.
#pragma once

#include "operator/control_ids.h"

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

// The port setup dialog's lists.
#define IDC_PORT_LIST 1001
#define IDC_BAUD_LIST 1002

// The log window's text.
#define IDC_LOG_TEXT 1002

// The about box's lines.
#define IDC_ABOUT_VERSION 1015
#define IDC_ABOUT_COPYRIGHT 1016

// The log window's menu.
#define ID_LOG_CLEAN 32771
#define ID_LOG_EXIT 32779

// Controls without an id of their own.
#define IDC_UNNAMED (-1)
