/* Resource identifiers of the reader configuration tool, shared by its
   resource script and its code. Plain #defines only, so that the resource
   compiler reads this header as well as the C++ compiler. */
#ifndef READERSETUP_RESOURCE_H
#define READERSETUP_RESOURCE_H

/* Strings */
#define IDS_APP_TITLE 101      /* window title: display name, a blank and the version */
#define IDS_WINDOW_CLASS 102   /* window class name "readerSetupKit" */

/* Icons */
#define IDI_READERSETUP 102    /* large */
#define IDI_SMALL 103          /* small */

/* Dialogs, with their sizes in V3.6 (readersetup.rc has those of the older builds) */
#define IDD_PORT_CHOICE 103    /* port choice, 286 x 65 */
#define IDD_PAGE_WIRED 105     /* model 1: wired, RS485 and two antennas, 285 x 284 */
#define IDD_PAGE_WIFI 107      /* model 3: WIFI, 284 x 274 */
#define IDD_PAGE_ONE_ANTENNA 111 /* model 2: wired, one antenna, 285 x 249 */
#define IDD_PAGE_ACTIVE 113    /* model 52: wired, active connection only, 288 x 190 */
#define IDD_PAGE_DOMAIN 114    /* model 5: domain name, 285 x 196 */
#define IDD_PAGE_COMPACT 115   /* model 6: wired, no baud rates, 285 x 217 */
#define IDD_PAGE_DUAL 117      /* model 7: wired or WIFI, 284 x 274 */

/* Bitmaps of the eye button, 26 x 17 */
#define IDB_EYE_OPEN 109       /* green eye: the password is shown */
#define IDB_EYE_CLOSED 110     /* grey eye: the password is masked */

/* Controls */
#define IDC_PORT_LIST 1001         /* drop-down list of COM ports */
#define IDC_PORT_BUTTON 1002       /* "打开串口" / "关闭串口" */
#define IDC_APPLY 1004             /* "应用" */
#define IDC_VERSION 1005           /* version text, initially "未知" */
#define IDC_GATEWAY 1007           /* IP address control: default gateway */
#define IDC_MASK 1008              /* IP address control: subnet mask */
#define IDC_IP 1009                /* IP address control: IP address */
#define IDC_SSID 1010              /* edit: WIFI SSID */
#define IDC_WIFI_PASSWORD 1011     /* edit: WIFI password */
#define IDC_DHCP 1012              /* check box "  启用DHCP" */
#define IDC_ANTENNA_BAUD 1013      /* drop-down list: (first) antenna baud rate */
#define IDC_ANTENNA1_BAUD 1014     /* drop-down list: antenna 1 baud rate */
#define IDC_ANTENNA_MERGE 1015     /* check box: reader 0 occupies both antenna interfaces */
#define IDC_CONNECT_MODE 1016      /* drop-down list: connect mode */
#define IDC_NAME_LABEL 1017        /* label "设备名称：" or "设备ID：" */
#define IDC_PASSWORD_LABEL 1018    /* label "设备密码：" */
#define IDC_NAME 1019              /* edit: device name or device ID */
#define IDC_PASSWORD 1020          /* edit: device password */
#define IDC_EYE 1021               /* owner-drawn button beside the password */
#define IDC_PLATFORM_IP 1022       /* IP address control: platform IP */
#define IDC_PLATFORM_PORT 1023     /* edit: platform port */
#define IDC_PLATFORM_IP_LABEL 1024 /* label "平台   IP：" */
#define IDC_PLATFORM_PORT_LABEL 1025 /* label "平台端口：" */
#define IDC_MERGE_NOTE 1026        /* label under the antenna-merge check box */
#define IDC_RS485_BAUD 1027        /* drop-down list: RS485 baud rate */
#define IDC_DOMAIN 1028            /* edit: domain name */
#define IDC_DOMAIN_ENABLE 1029     /* check box " 启用域名" */
#define IDC_MAC 1030               /* read-only edit: MAC address */
#define IDC_WIRED 1031             /* radio button " 使用有线网" */
#define IDC_WIFI 1032              /* radio button " 使用WIFI" */

/* Timer of the showing dialog: the reply countdown, 1000 ms */
#define IDT_REPLY 1

#endif
