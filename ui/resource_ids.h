// Resource identifiers of the main dialog: template, icon, controls and string table.
//
// Plain #defines on purpose: the resource compiler includes this same header from the .rc
// file, and it understands only the preprocessor. Keep the names clear of winuser.h's
// IDC_ cursor names (IDC_ARROW, IDC_WAIT, ...).
#pragma once

// Dialog template and icon.
#define IDD_OVCLIENTTRACING_DIALOG 102
#define IDR_MAINFRAME 128

// Controls. OK and Cancel are the standard IDOK (1) and IDCANCEL (2).
#define IDC_TRACE_LIST 1000
#define IDC_TRACING_ENABLED 1001
#define IDC_TRACE_DIRECTORY 1002
#define IDC_TRACE_LEVEL 1003
#define IDC_APPLY_BUTTON 1004
#define IDC_ALL_TRACING_ON 1012
#define IDC_ALL_TRACING_OFF 1013
#define IDC_RESET_TO_DEFAULTS 1014
#define IDC_DELETE_FILE 1015
#define IDC_LEVEL_LABEL 1016
#define IDC_ZIP_UP_LOG_FILES 1017

// String table (texts in ui/strings.def).
#define IDS_COLUMN_COMPONENT 102
#define IDS_COLUMN_LEVEL 103
#define IDS_COLUMN_ENABLED 104
#define IDS_COLUMN_FILENAME 105
#define IDS_YES 106
#define IDS_NO 107
#define IDS_SAVE_CHANGES_QUESTION 108
#define IDS_SAVE_CHANGES_CAPTION 109
#define IDS_CURRENT_DIRECTORY_ERROR 110
#define IDS_DIRECTORY_ERROR_CAPTION 111
#define IDS_CREATE_DIRECTORY_QUESTION 112
#define IDS_PATH_ERROR_CAPTION 113
#define IDS_CREATE_DIRECTORY_FAILED 114
#define IDS_RESTART_SPOOLER_QUESTION 115
#define IDS_RESTART_SPOOLER_CAPTION 116
#define IDS_DELETE_QUESTION_START 117
#define IDS_DELETE_QUESTION_END 118
#define IDS_DELETE_CAPTION 119
#define IDS_RESTART_SHARED_ENGINE_CAPTION 121
#define IDS_RESTART_SHARED_ENGINE_QUESTION 122
