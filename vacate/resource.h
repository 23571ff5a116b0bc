// Resource ids of the uninstaller.
#pragma once

#define IDI_VACATE 1
#define IDI_VACATE_SMALL 2
#define IDI_VACATE_UPDATE 3

#define IDD_UPDATE 100
#define IDC_UPDATE_LINE1 1011
#define IDC_UPDATE_LINE2 1017
#define IDC_UPDATE_WEBPAGE 1013
#define IDC_UPDATE_DOWNLOAD 1015

#define IDD_PROGRESS 101
#define IDC_PROGRESS_BAR 1001
#define IDC_PROGRESS_CANCEL 2  // IDCANCEL: Escape presses it too
