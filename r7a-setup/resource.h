/* Resource identifiers of the legacy settings tool, shared by its resource
   script and its code. Plain #defines only, so that the resource compiler
   reads this header as well as the C++ compiler. */
#ifndef R7A_SETUP_RESOURCE_H
#define R7A_SETUP_RESOURCE_H

/* Strings */
#define IDS_R7A_TITLE 103      /* window title "QVR-R7A设置工具V1.7" */
#define IDS_R7A_CLASS 109   /* window class "CORVOLINKSDK_DEMO" */

/* Icons */
#define IDI_R7A_SETUP 107      /* large */
#define IDI_R7A_SMALL 108          /* small */

/* Dialog */
#define IDD_R7A_SETUP 129      /* the settings, 179 x 275, fills the main window */

/* Controls */
#define IDC_R7A_IP 1003            /* IP address control: IP address */
#define IDC_R7A_PORT_LIST 1013     /* drop-down list of COM ports */
#define IDC_R7A_PORT_BUTTON 1014   /* "打开串口" / "关闭串口" */
#define IDC_R7A_ANTENNA0_BAUD 1020 /* drop-down list: reader antenna 0 baud rate */
#define IDC_R7A_THRESHOLD 1022     /* hidden edit: RSSI threshold in decimal */
#define IDC_R7A_RS485_BAUD 1023    /* drop-down list: RS485 interface baud rate */
#define IDC_R7A_MASK 1036          /* IP address control: subnet mask */
#define IDC_R7A_GATEWAY 1037       /* IP address control: default gateway */
#define IDC_R7A_APPLY 1047         /* "应用" */
#define IDC_R7A_ANTENNA1_BAUD 1057 /* drop-down list: reader antenna 1 baud rate */
#define IDC_R7A_VERSION 1058       /* static: the reader's version text */
#define IDC_R7A_ANT1_AS_ANT0 1059  /* check box: ANT1 also reads as ANT0 */

/* Timer of the dialog: the parse of the receive buffer */
#define IDT_R7A_PARSE 1

#endif
