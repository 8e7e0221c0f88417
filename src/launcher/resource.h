#pragma once

#define IDD_LAUNCHER 101
#define IDI_LAUNCHER 101
#define IDC_APP_NAME 1000
