/* Resource and control identifiers shared by the three consoles' panels.
   Plain #defines: the resource scripts include this file too. */
#ifndef TAGDESK_PANEL_IDS_H
#define TAGDESK_PANEL_IDS_H

#define IDS_APP_TITLE 103
#define IDC_TAGDESK 109
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDI_TAGDESK 130
#define IDD_MAIN_PANEL 131
#define IDB_BACKGROUND 134
#define IDD_DETAILS 135

#define IDC_PORT 1199
#define IDC_DEVICE_NAME 1200
#define IDC_DEVICE_PASSWORD 1201
#define IDC_READER_IP 1180
#define IDC_START 1016

#define IDC_CALL_SUBSTATION 1181
#define IDC_CALL_TAG 1178
#define IDC_CALL 1179
#define IDC_LAMP_GREEN 1005
#define IDC_LAMP_RED 1006
#define IDC_BUZZER 1007

#define IDC_SMS_SUBSTATION 1194
#define IDC_SMS_TAG 1193
#define IDC_SMS_NUMBER 1195
#define IDC_SMS_TEXT 1196
#define IDC_SMS_SEND 1197

#define IDC_STATUS 1041
#define IDC_TAG_COUNT 1043
#define IDC_DROPPED_COUNT 1044
#define IDC_DETAILS 1198
#define IDC_PREV_PAGE 1042
#define IDC_NEXT_PAGE 1004

#define IDT_TICK 1

#endif
