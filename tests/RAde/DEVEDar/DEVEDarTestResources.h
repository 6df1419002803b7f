// Resource ids of the GUI library's test program (DEVEDarTests.rc).
#pragma once

// A popup dialog with a caption: one static text and one push button.
#define IDD_TEST_DIALOG 100
#define IDC_TEST_STATIC 1001
#define IDC_TEST_BUTTON 1002

// A dialog holding one control of every kind the skinning tells apart.
#include "RAde/DEVEDar/HSkinControlsDialog.h"

// Two groups of radio buttons between a leading and a trailing group.
#define IDD_SKIN_RADIOS 120
#define IDC_RADIO_BEFORE 2101
#define IDC_RADIO_FIRST 2102
#define IDC_RADIO_SECOND 2103
#define IDC_RADIO_THIRD 2104
#define IDC_RADIO_AFTER 2105

// Owner-drawn lists with strings: left- and right-aligned, and an empty one.
#define IDD_SKIN_LISTS 130
#define IDC_LISTS_LEFT 2201
#define IDC_LISTS_RIGHT 2202
#define IDC_LISTS_EMPTY 2203
#define IDC_LISTS_COMBO 2204

// The buttons of IDD_SKIN_CONTROLS alone, in a dialog without a caption.
#define IDD_SKIN_BUTTONS 140

// Group boxes and static texts, in a dialog without a caption.
#define IDD_SKIN_STATICS 150
#define IDC_STATICS_GROUP 2301
#define IDC_STATICS_GROUP_RTL 2302
#define IDC_STATICS_LEFT 2303
#define IDC_STATICS_CENTRE 2304
#define IDC_STATICS_RIGHT 2305
#define IDC_STATICS_EDIT 2306

// A captioned popup with a close and a minimize box and no OK button, and a
// child dialog.
#define IDD_CAPTION_DIALOG 160
#define IDC_CAPTION_TEXT 2401
#define IDD_CHILD_DIALOG 170
#define IDC_CHILD_TEXT 2501

// The gallery's dialogs: one the size of the wait dialog with every caption
// button, and one that hosts a child dialog.
#define IDD_GALLERY_WAIT 180
#define IDC_GALLERY_MESSAGE 2601
#define IDC_GALLERY_ANIMATION 2602
#define IDD_GALLERY_HOST 190
#define IDC_GALLERY_HOST_TEXT 2701
