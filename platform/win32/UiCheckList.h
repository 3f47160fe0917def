// The check list box of the Win32 backend: an owner-drawn list box with
// strings whose items each carry a check box. The check state lives in the
// item's data (0 unchecked, 1 checked); a click on the box or the space bar
// toggles it and tells the parent with WM_COMMAND / CLBN_CHKCHANGE.
//
// The dialog procedure hands WM_MEASUREITEM and WM_DRAWITEM to Measure and
// Draw first, and calls AttachAll when the dialog is initialised.
#pragma once

#include <windows.h>

namespace zmp::win32::checklist {

// Whether the control has the styles of a check list (owner-drawn, has strings).
bool IsCandidate(HWND control);
// Whether the control has been made a check list by AttachAll.
bool IsCheckList(HWND control);
// Makes every candidate child of the dialog a check list.
void AttachAll(HWND dialog);

// WM_MEASUREITEM / WM_DRAWITEM sent to the dialog: true when handled here.
bool Measure(HWND dialog, MEASUREITEMSTRUCT& item);
bool Draw(const DRAWITEMSTRUCT& item);

// The check state of item index; BST_UNCHECKED for an index out of range.
DWORD GetState(HWND list, int index);
// Sets the check state and redraws the item. No notification is sent.
void SetState(HWND list, int index, DWORD state);

}  // namespace zmp::win32::checklist
