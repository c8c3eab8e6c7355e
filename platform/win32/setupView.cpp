#include "platform/win32/setupView.h"

namespace {

// Where a button's bitmap goes and how much of it: its top-left corner.
constexpr int kImageX = 11;
constexpr int kImageY = 11;
constexpr int kImageWidth = 26;
constexpr int kImageHeight = 17;

}  // namespace

// ------------------------------------------------------------ Win32SetupView

Win32SetupView::~Win32SetupView() { releaseBitmaps(); }

void Win32SetupView::detach()
{
    releaseBitmaps();
    for (ButtonImage& b : buttons_)
        b = ButtonImage{};
    dialog_ = nullptr;
}

void Win32SetupView::releaseBitmaps()
{
    for (LoadedBitmap& b : bitmaps_) {
        if (b.handle)
            DeleteObject(b.handle);
        b = LoadedBitmap{};
    }
}

HBITMAP Win32SetupView::bitmap(int resource)
{
    LoadedBitmap* free = nullptr;
    for (LoadedBitmap& b : bitmaps_) {
        if (b.handle && b.resource == resource)
            return b.handle;
        if (!b.handle && !free)
            free = &b;
    }
    if (!free)
        return nullptr;
    HBITMAP handle = HBITMAP(
        LoadImageW(instance_, MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (handle)
        *free = LoadedBitmap{resource, handle};
    return handle;
}

const Win32SetupView::ButtonImage* Win32SetupView::buttonImage(int button) const
{
    for (const ButtonImage& b : buttons_) {
        if (b.button == button)
            return &b;
    }
    return nullptr;
}

bool Win32SetupView::onDrawItem(const DRAWITEMSTRUCT& item)
{
    if (item.CtlType != ODT_BUTTON)
        return false;
    const ButtonImage* image = buttonImage(int(item.CtlID));
    if (!image)
        return false;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    HBITMAP picture = bitmap(image->resource);
    HDC memory = picture ? CreateCompatibleDC(item.hDC) : nullptr;
    if (memory) {
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(item.hDC, item.rcItem.left + kImageX, item.rcItem.top + kImageY, kImageWidth,
               kImageHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    return true;
}

void Win32SetupView::show(int id, bool visible)
{
    if (HWND control = GetDlgItem(dialog_, id))
        ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void Win32SetupView::clearItems(int id) { SendDlgItemMessageW(dialog_, id, CB_RESETCONTENT, 0, 0); }

void Win32SetupView::addItem(int id, const std::string& utf8)
{
    const std::wstring text = win32::widen(utf8);
    SendDlgItemMessageW(dialog_, id, CB_ADDSTRING, 0, LPARAM(text.c_str()));
}

int Win32SetupView::selection(int id) const
{
    const LRESULT index = SendDlgItemMessageW(dialog_, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}

void Win32SetupView::setSelection(int id, int index)
{
    // An index outside the list clears the selection, as -1 does.
    const LRESULT count = SendDlgItemMessageW(dialog_, id, CB_GETCOUNT, 0, 0);
    const int chosen = index >= 0 && index < count ? index : -1;
    SendDlgItemMessageW(dialog_, id, CB_SETCURSEL, WPARAM(chosen), 0);
}

void Win32SetupView::setPasswordMasked(int id, bool masked)
{
    HWND edit = GetDlgItem(dialog_, id);
    if (!edit)
        return;
    SendMessageW(edit, EM_SETPASSWORDCHAR, masked ? WPARAM(L'*') : 0, 0);
    InvalidateRect(edit, nullptr, TRUE);
}

void Win32SetupView::setButtonBitmap(int id, int resource)
{
    ButtonImage* entry = nullptr;
    for (ButtonImage& b : buttons_) {
        if (b.button == id) {
            entry = &b;
            break;
        }
        if (b.button == 0 && !entry)
            entry = &b;
    }
    if (!entry)
        return;
    *entry = ButtonImage{id, resource};
    bitmap(resource);  // loaded with the dialog's first use of it
    if (HWND button = GetDlgItem(dialog_, id))
        InvalidateRect(button, nullptr, FALSE);
}

void Win32SetupView::notice(const std::string& utf8)
{
    MessageBoxW(dialog_, win32::widen(utf8).c_str(), win32::noticeCaption, MB_ICONINFORMATION);
}

void Win32SetupView::postQuit(int exitCode) { PostQuitMessage(exitCode); }

// ------------------------------------------------------------ ButtonFaceView

HBRUSH ButtonFaceView::onCtlColorControl(HDC dc)
{
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
}
