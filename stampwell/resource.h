// Identifiers of Stampwell's resources, shared by the resource script and the code.
#pragma once

#define IDD_VERSION 101

#define IDC_PRODUCT_VERSION 1000
#define IDC_WORKING_DIR 1001
#define IDC_DATE 1002
#define IDC_FILE_VERSION 1003
#define IDC_COMMENT 1004
#define IDC_VERSION_PROBLEM 1005

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
