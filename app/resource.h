// Resource ids of the test program.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
// The status-bar panes of the pages; each string is a single blank.
#define ID_INDICATOR_CODE 102
#define ID_INDICATOR_NAME 103
#define ID_INDICATOR_LABEL 104
#define IDR_MAINFRAME 128
// Images of the card trees: axis, Torix input module, card.
#define IDI_AXIS 136
#define IDI_MODULE 137
#define IDI_CONFIGURATION 150
#define IDI_BASIC_OPERATION 156
#define IDI_INTERPOLATION 160
#define IDI_TORIX 161
#define IDB_BANNER 165
#define IDD_MAIN 215
#define IDI_CARD 232

#define IDC_CONFIGURATION 1000
#define IDC_BASIC_OPERATION 1001
#define IDC_INTERPOLATION 1002
#define IDC_TORIX 1003

// The system-menu command of the About box.
#define IDM_ABOUTBOX 0x0010

// The Profile window.
#define IDD_PROFILE 105
#define IDC_PROFILE_GRAPH 1000
#define IDC_PROFILE_PAN 1001
#define IDC_PROFILE_ZOOM 1002
#define IDC_PROFILE_TRACK 1003
#define IDC_PROFILE_NONE 1004
#define IDC_PROFILE_PAUSE 1007
#define IDC_PROFILE_CLEAR 1008
#define IDC_PROFILE_SET 1009
#define IDC_PROFILE_LOGIC_POS 1018
#define IDC_PROFILE_WIDTH 1019
#define IDC_PROFILE_HEIGHT 1020
#define IDC_PROFILE_XMIN 1021
#define IDC_PROFILE_YMIN 1022
#define IDC_PROFILE_ENCODER_POS 1023
#define IDC_PROFILE_SPEED 1024
#define IDC_PROFILE_ENCODER_SPEED 1025
