// Resources that only the interface tests use.
#pragma once

#define IDD_TEST_SHEET 900
#define IDC_TEST_FIRST 901
#define IDC_TEST_SECOND 902
