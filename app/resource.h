// Resource ids of the test program.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDR_MAINFRAME 128
#define IDI_CONFIGURATION 150
#define IDI_BASIC_OPERATION 156
#define IDI_INTERPOLATION 160
#define IDI_TORIX 161
#define IDB_BANNER 165
#define IDD_MAIN 215

#define IDC_CONFIGURATION 1000
#define IDC_BASIC_OPERATION 1001
#define IDC_INTERPOLATION 1002
#define IDC_TORIX 1003

// The system-menu command of the About box.
#define IDM_ABOUTBOX 0x0010
