// Resource and control identifiers of the installer.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_SETUP_HUB 102       // hub dialog template
#define IDR_MAINFRAME 128       // application icon
#define IDD_WIDGET_INSTALL 129  // widget install screen template
#define IDB_BANNER 131          // 600 x 52 banner bitmap of the install screen

// Controls of the widget install screen.
#define IDC_INSTALL_PROGRESS 1001
#define IDC_INSTALL_FOLDER 1002
#define IDC_INSTALL_STATUS 1005
#define IDC_BROWSE_FOLDER 1006
#define IDC_AGREEMENT_BROWSER 1007
