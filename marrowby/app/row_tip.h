// The reason a row's download failed, in a tooltip beside the pointer while
// it rests on the row. A tracking tooltip of our own: the list view's info
// tips are not shown by every common-controls implementation.
#pragma once

#include <windows.h>

// Creates the tooltip and follows the pointer over the list control; false
// when the tooltip could not be made (the list works without it).
bool AttachRowTip(HWND owner, HWND list);

// Puts the list control's own window procedure back and destroys the tooltip.
void DetachRowTip();

// While held (a pop-up menu of the list is open) the tooltip is hidden and
// resting the pointer shows none: the menu opens where the pointer rests.
void HoldRowTip(bool held);

// The tooltip window, or null.
HWND RowTipWindow();
