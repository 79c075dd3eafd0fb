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

// The Torix DI/DO page.
#define IDI_RETURN 149
#define IDI_RESET_TORIX 162
#define IDI_LAMP_ON 171
#define IDI_LAMP_OFF 173
#define IDD_TORIX_IO 212
#define IDC_TORIX_TREE 1001
#define IDC_DO_OUTPUT 1008
// The output check boxes, bit 0 to bit 15.
#define IDC_DO_BIT0 1011
#define IDC_DO_BIT1 1012
#define IDC_DO_BIT2 1013
#define IDC_DO_BIT3 1014
#define IDC_DO_BIT4 1015
#define IDC_DO_BIT5 1016
#define IDC_DO_BIT6 1017
#define IDC_DO_BIT7 1018
#define IDC_DO_BIT8 1019
#define IDC_DO_BIT9 1020
#define IDC_DO_BIT10 1021
#define IDC_DO_BIT11 1022
#define IDC_DO_BIT12 1023
#define IDC_DO_BIT13 1024
#define IDC_DO_BIT14 1025
#define IDC_DO_BIT15 1026
// The input lamps, by input bit.
#define IDC_DI_LAMP0 1218
#define IDC_DI_LAMP1 1219
#define IDC_DI_LAMP2 1220
#define IDC_DI_LAMP3 1221
#define IDC_DI_LAMP4 1222
#define IDC_DI_LAMP5 1223
#define IDC_DI_LAMP6 1148
#define IDC_DI_LAMP7 1152
#define IDC_DI_LAMP8 1233
#define IDC_DI_LAMP9 1234
#define IDC_DI_LAMP10 1235
#define IDC_DI_LAMP11 1236
#define IDC_DI_LAMP12 1237
#define IDC_DI_LAMP13 1238
#define IDC_DI_LAMP14 1149
#define IDC_DI_LAMP15 1153
#define IDC_RA_GROUP 1244
#define IDC_RESET_TORIX 1245
