#include "platform/win32/setupWindow.h"

static_assert(setupModelReadyMessage == WM_USER + 1, "WM_MODEL_READY");

Win32SetupWindow::Slot* Win32SetupWindow::slot(int dialogId)
{
    for (int i = 0; i < count_; ++i) {
        if (slots_[i].hooks.page->dialogId() == dialogId)
            return &slots_[i];
    }
    return nullptr;
}

const Win32SetupWindow::Slot* Win32SetupWindow::slot(int dialogId) const
{
    return const_cast<Win32SetupWindow*>(this)->slot(dialogId);
}

bool Win32SetupWindow::add(SetupPage& page, Win32SetupView& view)
{
    if (count_ == maxDialogs || has(page.dialogId()))
        return false;
    Slot& s = slots_[count_++];
    s.hooks.page = &page;
    s.view = &view;
    s.host = DialogHost{&view, &s.hooks};
    return true;
}

// A minimised or maximised window keeps its normal rectangle in its
// placement (in workspace coordinates, which differ from the screen's only
// by a taskbar on the top or left: the shell moves the rectangle by
// differences, so that does not matter).
bool Win32SetupWindow::placed(WINDOWPLACEMENT& placement) const
{
    if (!IsIconic(main_) && !IsZoomed(main_))
        return false;
    placement.length = sizeof placement;
    return GetWindowPlacement(main_, &placement) != FALSE;
}

WindowRect Win32SetupWindow::windowRect() const
{
    WINDOWPLACEMENT placement;
    RECT r = {};
    if (placed(placement))
        r = placement.rcNormalPosition;
    else
        GetWindowRect(main_, &r);
    WindowRect out;
    out.left = r.left;
    out.top = r.top;
    out.width = r.right - r.left;
    out.height = r.bottom - r.top;
    return out;
}

void Win32SetupWindow::setWindowRect(const WindowRect& rect)
{
    WINDOWPLACEMENT placement;
    if (!placed(placement)) {
        SetWindowPos(main_, nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_FRAMECHANGED);
        return;
    }
    // The window stays minimised or maximised, is not activated, and takes
    // the rectangle when the user restores it.
    placement.rcNormalPosition = {rect.left, rect.top, rect.left + rect.width, rect.top + rect.height};
    placement.showCmd = SW_SHOWNA;
    SetWindowPlacement(main_, &placement);
}

void Win32SetupWindow::createDialog(int dialogId)
{
    Slot* s = slot(dialogId);
    if (!s)
        return;
    if (HWND open = s->view->hwnd())
        DestroyWindow(open);
    createHostedDialog(instance_, dialogId, main_, s->host);
}

void Win32SetupWindow::destroyDialog(int dialogId)
{
    Slot* s = slot(dialogId);
    if (HWND open = s ? s->view->hwnd() : nullptr)
        DestroyWindow(open);
}

void Win32SetupWindow::sendModelReady(const ModelReadyBlock& block)
{
    SendMessageW(main_, setupModelReadyMessage, 0, LPARAM(&block));
}
