// Resource ids of the setup: dialog templates, strings, bitmaps, the embedded
// installer and the controls of each page. Shared by the .rc file and the code.
#pragma once

// Dialog templates (one per wizard page, and the please-wait dialog).
#define IDD_WIZ_START 100
#define IDD_WIZ_PMNEW 101
#define IDD_WIZ_INSTALL 104
#define IDD_WIZ_NOTSUPPORTED 105
#define IDD_WIZ_END 106
#define IDD_WIZ_PMSELECT 107
#define IDD_WIZ_SELECTUNIT 150
#define IDD_WIZ_BEFOREINSTALL 151
#define IDD_WAIT 154
#define IDD_WIZ_REQNETFWNOTMET 177

// Strings: page headers and notices.
#define IDS_SELECTUNIT_TITLE 150     // "Installazione"
#define IDS_SELECTUNIT_SUBTITLE 151  // "Selezione percorso"
#define IDS_BEFOREINSTALL_SUBTITLE 152
#define IDS_NOTSUPPORTED_TITLE 200
#define IDS_PMNEW_TITLE 201
#define IDS_INSTALL_TITLE 204  // "Installazione" (pre-install and install pages)
#define IDS_NOTSUPPORTED_SUBTITLE 205
#define IDS_PMNEW_SUBTITLE 206
#define IDS_INSTALL_SUBTITLE 209
#define IDS_PMSELECT_TITLE 210
#define IDS_PMSELECT_SUBTITLE 211
#define IDS_START_TEXT 1001
#define IDS_APP_TITLE 1005  // "Servizi ZAN - Installazione"
#define IDS_NOTSUPPORTED_TEXT 1006
#define IDS_NOTSUPPORTED_NOTICE 1007

// Bitmaps.
#define IDB_HEADER 137     // Wizard97 header, 49 x 49
#define IDB_WATERMARK 138  // Wizard97 watermark, 164 x 314
#define IDB_FINISHED 153   // final page
#define IDB_DISCOVERY 164  // network discovery indicator

// The .NET Framework 4.8 web installer, resource type "BINARY".
#define IDR_NETFW_INSTALLER 178

// Controls of WIZ_REQNETFWNOTMET and WIZ_START.
#define IDC_HEADING 1003
#define IDC_INTRO_TEXT 1004
#define IDC_NETFW_NOTE 1005
#define IDC_START_CHOICE_LABEL 1007
#define IDC_TASK_INSTALL 1062
#define IDC_TASK_ADD_WORKSTATION 1063
#define IDC_TASK_RESTORE 1064

// Controls of WIZ_NOTSUPPORTED.
#define IDC_NOTSUPPORTED_HEADING 1015
#define IDC_NOTSUPPORTED_NOTICE 1016
#define IDC_NOTSUPPORTED_TEXT 65533

// Controls of WIZ_PMSELECT.
#define IDC_PM_LIST 1030
#define IDC_PMSELECT_PROMPT 1061
#define IDC_GUIDE_LINK 1034  // also on WIZ_SELECTUNIT
#define IDC_NEW_OFFICE 1038
#define IDC_DISCOVERY_BITMAP 1065
#define IDC_DISCOVERY_TEXT 1066

// Controls of WIZ_PMNEW.
#define IDC_OFFICE_CODE 1011
#define IDC_OFFICE_PASSWORD 1012
#define IDC_PMNEW_GUIDE_LINK 1013

// Controls of WIZ_SELECTUNIT and WIZ_BEFOREINSTALL.
#define IDC_INSTALL_PATH 1058
#define IDC_DRIVE_COMBO 1059
#define IDC_PATH_NOTE 1060

// Controls of WIZ_INSTALL.
#define IDC_INSTALL_GROUP 65534
#define IDC_PROGRESS 1019
#define IDC_PHASE_LABEL 1020
#define IDC_PERCENT_TEXT 1021

// Controls of WIZ_END.
#define IDC_END_TITLE 1026
#define IDC_END_RESTORE_TITLE 1027
#define IDC_END_BITMAP 1060
#define IDC_END_TEXT 1063
#define IDC_END_RESTORE_TEXT 1064
#define IDC_END_NEWS 1065
#define IDC_END_NEWS_HINT 1066

// The please-wait dialog's marquee bar.
#define IDC_WAIT_PROGRESS 1039

// The Next and Finish buttons of a property sheet (the sheet's own controls).
#define IDC_SHEET_NEXT 12324
#define IDC_SHEET_FINISH 12325

// The application icon.
#define IDI_SETUP 1
