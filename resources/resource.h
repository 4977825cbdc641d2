// Identifiers shared by the resource scripts and the code. One prefix per
// kind: IDR_ menus and accelerator tables, IDI_ icons, IDB_ bitmaps,
// IDD_ dialogs, IDC_ controls, IDM_ commands, IDS_ strings.
#pragma once

// Menus and accelerators
#define IDR_MAIN_MENU 101
#define IDR_MAIN_ACCEL 201

// Icons
#define IDI_VORLIN 401

// Registry scripts of the automation server (resource type "RGS")
#define IDR_RGS_SERVER 128
#define IDR_RGS_INTERFACES 129

// Strings
#define IDS_MESSAGE_NOT_FOUND 2

// Child window ids of the main window
#define IDC_TOOLBAR 996
#define IDC_MODEM_PANEL 997
#define IDC_LOG_VIEW 998
#define IDC_STATUS_BAR 999

// Commands of menu 101, the accelerators and the toolbar
#define IDM_CONNECT 40110
#define IDM_DISCONNECT 40120
#define IDM_TUNNEL_NEW_PROCESS 40141
#define IDM_TUNNEL_ATTACH 40142
#define IDM_PRINT 40160
#define IDM_EXIT 40180
#define IDM_COPY 40210
#define IDM_CLEAR 40230
#define IDM_FIND 40250
#define IDM_FIND_NEXT 40260
#define IDM_FIND_PREVIOUS 40270
#define IDM_SEND_DATA 40310
#define IDM_FILTERING 40320
#define IDM_LOG_FILE 40410
#define IDM_LOG_STOP 40420
#define IDM_LOG_FLUSH 40430
#define IDM_SETTINGS 40510
#define IDM_CUSTOMIZE_TOOLBAR 40520
#define IDM_PSEUDO_DATA 40540
#define IDM_HELP_CONTENTS 40610
#define IDM_HELP_FIND 40620
#define IDM_ABOUT 40640
#define IDM_RESCAN_FORMS 42023
#define IDM_QUICK_SEND_FIRST 42024
#define IDM_QUICK_SEND_LAST 42041
#define IDM_FORM_CHOICE_FIRST 43000
#define IDM_FORM_CHOICE_LAST 43255

// Serial device: connect dialog, extended settings dialog, modem panel.
// Accelerator letters: connect dialog S D X E C Q; extended dialog A C.
#define IDD_CONNECT 201
#define IDD_EXTENDED 202
#define IDD_MODEM_PANEL 204
#define IDC_CONNECT_PORT 1000
#define IDC_CONNECT_BAUD 1001
#define IDC_CONNECT_BYTESIZE 1002
#define IDC_CONNECT_PARITY 1003
#define IDC_CONNECT_STOPBITS 1004
#define IDC_CONNECT_RTSCTS 1005
#define IDC_CONNECT_DTRDSR 1006
#define IDC_CONNECT_XONXOFF 1007
#define IDC_CONNECT_EXTENDED 1008
#define IDC_CONNECT_SAVE 1009
#define IDC_CONNECT_OK 1010
#define IDC_CONNECT_CANCEL 1011
#define IDC_EXT_CTSFLOW 1013
#define IDC_EXT_DSRFLOW 1014
#define IDC_EXT_DSRSENSE 1015
#define IDC_EXT_TXCONTINUE 1016
#define IDC_EXT_ERRORCHAR_ON 1017
#define IDC_EXT_ERRORCHAR_LABEL 1018
#define IDC_EXT_ERRORCHAR 1019
#define IDC_EXT_NULL 1020
#define IDC_EXT_XONLIM 1021
#define IDC_EXT_XOFFLIM 1022
#define IDC_EXT_XONCHAR 1023
#define IDC_EXT_XOFFCHAR 1024
#define IDC_EXT_READINTERVAL 1026
#define IDC_EXT_READMULTIPLIER 1027
#define IDC_EXT_READCONSTANT 1028
#define IDC_EXT_WRITEMULTIPLIER 1029
#define IDC_EXT_WRITECONSTANT 1030
#define IDC_EXT_INQUEUE 1033
#define IDC_EXT_OUTQUEUE 1034
#define IDC_EXT_APPLY 1035
#define IDC_EXT_CANCEL 1036
#define IDC_PANEL_RTS 1201
#define IDC_PANEL_CTS 1202
#define IDC_PANEL_DTR 1203
#define IDC_PANEL_DSR 1204
#define IDC_PANEL_RLSD 1205
#define IDC_PANEL_BREAK 1206
#define IDC_PANEL_XON 1207
#define IDC_PANEL_XOFF 1208
#define IDC_PANEL_XONXOFF_GROUP 1209

// Message catalogue
#define IDS_UNKNOWN_SYSTEM_ERROR 90

// Log view
#define IDD_CTRL_CODES 133
#define IDC_CTRL_STATUS 1801
#define IDB_LOGVIEW_SPLASH 501
#define IDB_CTRL_CODES_L 502
#define IDB_CTRL_CODES_LL 503
#define IDS_CTRL_LEGEND_TEXT 201
#define IDS_CTRL_LEGEND_CODE 202
#define IDS_CTRL_NAME_BASE 2001
