// Resource numbers shared by standin.rc and the code.
#pragma once
#define IDD_VALUE_CHANGE 101
#define IDC_DEVICE_LABEL 1001
#define IDC_DEVICE 1002
#define IDC_VALUE_LABEL 1003
#define IDC_VALUE 1004
