/* Resource numbers of Chronvane32: its dialogs, their controls, the icon and the
 * menu string. Shared by the resource script, the Windows code and the Qt window,
 * so it stays plain preprocessor definitions. */
#ifndef CHRONVANE32_RESOURCE_H
#define CHRONVANE32_RESOURCE_H

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CHRONVANE32_DIALOG 102
#define IDR_MAINFRAME 128
/* The program icon with the clock's lamp: synchronised, not synchronised, unknown */
#define IDI_LAMP_GREEN 129
#define IDI_LAMP_AMBER 130
#define IDI_LAMP_GREY 131

/* Main window */
#define IDC_ESE_RADIO 1000
#define IDC_OSTREL_RADIO 1001
#define IDC_COM1_RADIO 1002
#define IDC_COM2_RADIO 1003
#define IDC_COM3_RADIO 1007
#define IDC_COM4_RADIO 1008
#define IDC_LOG_LINE1 1009
#define IDC_LOG_LINE2 1010
#define IDC_LOG_LINE3 1011
#define IDC_LOG_LINE4 1012

/* About box */
#define IDC_HELP_BUTTON 1013

/* The system menu's About entry */
#define IDM_ABOUTBOX 0x0010

/* Controls no code refers to */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
