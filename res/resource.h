// Resource identifiers of TARVEX WOL. Written by hand: one range per prefix.
#pragma once

// Dialog templates
#define IDD_MAIN 101
#define IDD_PROGRESS 109
#define IDD_ABOUT 114

// Bitmaps
#define IDB_BANNER 105

// Icons
#define IDI_APP 114

// Controls of the main dialog
#define IDC_IP_ADDRESS 1000
#define IDC_MAC_ADDRESS 1001
#define IDC_GET_MAC 1002
#define IDC_CHECK_IP 1003
#define IDC_CHECK 1004
#define IDC_PASSWORD 1005
#define IDC_TURN_ON 1008
#define IDC_EXIT 1009
#define IDC_ABOUT 1010
#define IDC_LOCAL_MACS 1011
#define IDC_CONTRIBUTE 1013

// Controls of the progress dialog
#define IDC_PROGRESS 1012
#define IDC_PERCENT 1013

// Controls of the About dialog
#define IDC_WEB_LINK 1015

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
