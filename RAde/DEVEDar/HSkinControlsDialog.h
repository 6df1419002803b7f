// A dialog holding one control of every kind the skinning tells apart: push
// and default buttons, check boxes and a radio button, a group box, static
// texts, an owner-drawn and a plain combo box, an owner-drawn list box, an
// edit control and a scroll bar. A skin author sees in it how the skin
// dresses each kind; the gallery compares it with its reference pictures.
//
// Its template IDD_SKIN_CONTROLS lies in HSkinControlsDialog.rc, which a
// program's resource script includes. It has no form of its own in the skin
// (the general form dresses it), and its texts are the template's.
#pragma once

#include <windows.h>

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

#ifndef RC_INVOKED
// Gives the open dialog its sample content: three items in the list (the
// second selected) and in the owner-drawn combo (the first selected), and a
// ticked check box.
void FillSkinControls(HWND hDialog);
#endif
