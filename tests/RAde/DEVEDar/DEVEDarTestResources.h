// Resource ids of the GUI library's test program (DEVEDarTests.rc).
#pragma once

// A popup dialog with a caption: one static text and one push button.
#define IDD_TEST_DIALOG 100
#define IDC_TEST_STATIC 1001
#define IDC_TEST_BUTTON 1002
