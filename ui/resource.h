// Identifiers of the dialogs' controls and resources.
#pragma once

#define IDC_ICON_PROGRAM 1
#define IDD_MESSAGE 1001
#define IDC_RECURSIVE 56
#define IDC_HELP_BUTTON 55
#define IDC_SOURCE 105
#define IDC_TARGET 106
#define IDC_CONVERT 107
#define IDC_EXIT 108
#define IDC_ROOT 126
#define IDC_PARENT 127
#define IDC_MESSAGE_OK 101
#define IDC_MESSAGE_TEXT 19128
#define IDC_FILE_COUNT 19129
#define IDC_TOTAL_LENGTH 19130
#define IDC_PATH 19131
#define IDC_FILES 19132
#define IDC_DIRECTORIES 19133
#define IDC_DRIVES 19134
#define IDC_PATTERN 19135
