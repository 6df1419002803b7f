// Resource ids of the GUI library's test program (DEVEDarTests.rc).
#pragma once

// A popup dialog with a caption: one static text and one push button.
#define IDD_TEST_DIALOG 100
#define IDC_TEST_STATIC 1001
#define IDC_TEST_BUTTON 1002

// A dialog holding one control of every kind the skinning tells apart.
#define IDD_SKIN_CONTROLS 110
#define IDC_SKIN_PUSH 2001
#define IDC_SKIN_DEFPUSH 2002
#define IDC_SKIN_CHECK 2003
#define IDC_SKIN_3STATE 2004
#define IDC_SKIN_RADIO 2005
#define IDC_SKIN_GROUP 2006
#define IDC_SKIN_LTEXT 2007
#define IDC_SKIN_CTEXT 2008
#define IDC_SKIN_SIMPLE 2009
#define IDC_SKIN_ETCHED 2010
#define IDC_SKIN_FRAME 2011
#define IDC_SKIN_OWNERCOMBO 2012
#define IDC_SKIN_COMBO 2013
#define IDC_SKIN_LIST 2014
#define IDC_SKIN_EDIT 2015
#define IDC_SKIN_SCROLLBAR 2016
