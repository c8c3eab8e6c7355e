// What the configuration tool's dialogs need of a dialog beyond the generic
// view: showing and hiding controls, drop-down lists, the password
// character, the eye button's bitmap, the tool's "提示" box with its icon,
// and the quit message. The Win32 layer implements it over a dialog handle;
// the tests record the calls.
#pragma once
#include <string>

#include "common/dialogView.h"

class SetupView : public DialogView {
public:
    // DialogView::text of a drop-down list is the text of its selected item
    // ("" when nothing is selected), as the list control reports it.

    virtual void show(int id, bool visible) = 0;

    // Drop-down lists. Items keep the order in which they were added.
    virtual void clearItems(int id) = 0;
    virtual void addItem(int id, const std::string& utf8) = 0;
    // Index of the selected item, -1 when none.
    virtual int selection(int id) const = 0;
    // Selects item index. An index outside the list (-1 among them) leaves
    // no item selected, as the list control does.
    virtual void setSelection(int id, int index) = 0;

    // An edit shows '*' for every character while masked, its text otherwise.
    virtual void setPasswordMasked(int id, bool masked) = 0;
    // The owner-drawn button id shows bitmap (a resource id) from now on:
    // the top-left 26 x 17 pixels, drawn at 11, 11.
    virtual void setButtonBitmap(int id, int bitmap) = 0;

    // Message box with the caption "提示" and the information icon, owned by
    // this dialog (the generic styles have the caption without the icon, or
    // the icon without the caption).
    virtual void notice(const std::string& utf8) = 0;

    // Posts the quit message: the program ends with exitCode.
    virtual void postQuit(int exitCode) = 0;
};
