// Ids of the main window's controls and commands, by which the behaviour addresses its views and
// the Windows resource script names them: plain macros, because the resource compiler reads only
// the preprocessor's language.
#pragma once

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
