/* Resource identifiers of the signal filter tool, shared by its resource
   script and its code. Plain #defines only, so that the resource compiler
   reads this header as well as the C++ compiler. */
#ifndef RSSIFILTER_RESOURCE_H
#define RSSIFILTER_RESOURCE_H

/* Strings */
#define IDS_APP_TITLE 103      /* window title: display name, a blank and "V1.0" */
#define IDS_WINDOW_CLASS 109   /* window class name "CORVOLINKSDK_DEMO" */

/* Icons */
#define IDI_RSSIFILTER 107     /* large */
#define IDI_SMALL 108          /* small */

/* Dialogs */
#define IDD_RSSI_FILTER 129    /* the tool's one dialog, 197 x 136 */

/* Controls */
#define IDC_PORT_BUTTON 1014   /* "打开串口" / "关闭串口" */
#define IDC_PORT_LIST 1020     /* drop-down list of COM ports */
#define IDC_THRESHOLD 1024     /* edit: the threshold in decimal */
#define IDC_VERSION 1066       /* static: the reader's version text */
#define IDC_APPLY 1067         /* "应用" */

/* Timers */
#define IDT_REPLY 1            /* the one-second reply countdown while a port is open */

#endif
