// Resource and control ids of the cache tuner.
#pragma once

#define IDI_SPD 300

#define IDD_CONFIG 100
#define IDD_NAME 101
#define IDD_MAIN 102

// The "Configure..." dialog: one push-like check box per switch.
#define IDC_CONFIG_ON_TOP 1010
#define IDC_CONFIG_TRAY 1013
#define IDC_CONFIG_REBOOT 1015
#define IDC_CONFIG_START_MIN 1017

// The name prompt.
#define IDC_NAME_FIELD 1025

// The main dialog.
#define IDC_PRESETS 1000
#define IDC_MIN_FIELD 1001
#define IDC_MAX_FIELD 1002
#define IDC_CHUNK_FIELD 1003
#define IDC_NAME_CACHE_FIELD 1004
#define IDC_PATH_CACHE_FIELD 1005
#define IDC_MIN_SLIDER 1006
#define IDC_MAX_SLIDER 1007
#define IDC_CHUNK_SLIDER 1008
#define IDC_NAME_CACHE_SLIDER 1009
#define IDC_PATH_CACHE_SLIDER 1011
#define IDC_SETTINGS_GROUP 1012
#define IDC_ABOUT 1014
#define IDC_CONFIGURE 1016
#define IDC_ADD 1018
#define IDC_REMOVE 1019
#define IDC_MIN_ACTIVE 1020
#define IDC_MAX_ACTIVE 1021
#define IDC_CHUNK_ACTIVE 1022
#define IDC_TEMPLATE_ACTIVE 1023
#define IDC_APPLY 1024
#define IDC_PLATFORM_NOTE 1026

// Labels: ids of their own, so that no label passes for a message box's text.
#define IDC_LABEL_FIRST 1030
