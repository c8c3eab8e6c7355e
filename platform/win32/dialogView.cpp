#include "platform/win32/dialogView.h"

#include <commctrl.h>

#include <cstdio>

#include "platform/udpSocket.h"
#include "setup/setupView.h"

namespace win32 {

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], n);
    return wide;
}

std::string narrow(const wchar_t* text, int length)
{
    if (!text || length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string utf8(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], n, nullptr, nullptr);
    if (length < 0 && !utf8.empty() && utf8.back() == '\0')
        utf8.pop_back();  // the converted terminator
    return utf8;
}

}  // namespace win32

namespace {

const COLORREF kHeaderColour = RGB(200, 200, 200);
const COLORREF kDroppedColour = RGB(255, 0, 0);
const COLORREF kLiveColour = RGB(255, 255, 255);
const COLORREF kControlColour = RGB(240, 240, 240);
const COLORREF kCellTextColour = RGB(0, 0, 0);

}  // namespace

namespace win32 {

const wchar_t noticeCaption[] = L"提示";

}  // namespace win32

// ------------------------------------------------------------ DialogViewOver

template <class View>
std::string DialogViewOver<View>::text(int id) const
{
    HWND control = GetDlgItem(dialog_, id);
    if (!control)
        return std::string();
    const int length = GetWindowTextLengthW(control);
    if (length <= 0)
        return std::string();
    std::wstring buffer(size_t(length) + 1, L'\0');
    const int got = int(GetDlgItemTextW(dialog_, id, &buffer[0], length + 1));
    return win32::narrow(buffer.data(), got);
}

template <class View>
void DialogViewOver<View>::setText(int id, const std::string& utf8)
{
    SetDlgItemTextW(dialog_, id, win32::widen(utf8).c_str());
}

template <class View>
void DialogViewOver<View>::enable(int id, bool enabled)
{
    HWND control = GetDlgItem(dialog_, id);
    if (control)
        EnableWindow(control, enabled ? TRUE : FALSE);
}

template <class View>
bool DialogViewOver<View>::checked(int id) const
{
    return IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

template <class View>
void DialogViewOver<View>::setChecked(int id, bool checked)
{
    CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

template <class View>
std::string DialogViewOver<View>::address(int id) const
{
    if (!GetDlgItem(dialog_, id) || SendDlgItemMessageW(dialog_, id, IPM_ISBLANK, 0, 0))
        return std::string();
    DWORD ip = 0;
    SendDlgItemMessageW(dialog_, id, IPM_GETADDRESS, 0, LPARAM(&ip));
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", unsigned(FIRST_IPADDRESS(ip)),
                  unsigned(SECOND_IPADDRESS(ip)), unsigned(THIRD_IPADDRESS(ip)),
                  unsigned(FOURTH_IPADDRESS(ip)));
    return dotted;
}

template <class View>
void DialogViewOver<View>::setAddress(int id, const std::string& dotted)
{
    uint32_t ip = 0;
    if (parseIpv4(dotted.c_str(), &ip))
        SendDlgItemMessageW(dialog_, id, IPM_SETADDRESS, 0, LPARAM(ip));
    else
        SendDlgItemMessageW(dialog_, id, IPM_CLEARADDRESS, 0, 0);
}

template <class View>
void DialogViewOver<View>::message(const std::string& utf8, MessageStyle style)
{
    HWND owner = dialog_ ? GetAncestor(dialog_, GA_ROOT) : nullptr;
    const std::wstring text = win32::widen(utf8);
    switch (style) {
    case MessageStyle::notice:
        MessageBoxW(owner, text.c_str(), win32::noticeCaption, MB_OK);
        break;
    case MessageStyle::information:
        MessageBoxW(owner, text.c_str(), L"", MB_ICONINFORMATION);
        break;
    }
}

template <class View>
void DialogViewOver<View>::startTimer(int id, int milliseconds)
{
    SetTimer(dialog_, UINT_PTR(id), UINT(milliseconds), nullptr);
}

template <class View>
void DialogViewOver<View>::killTimer(int id)
{
    KillTimer(dialog_, UINT_PTR(id));
}

template class DialogViewOver<DialogView>;
template class DialogViewOver<PanelView>;
template class DialogViewOver<SetupView>;

// ------------------------------------------------------------ Win32PanelView

Win32PanelView::Win32PanelView(HINSTANCE instance, const PanelLook& look)
    : instance_(instance), backgroundBitmap_(look.backgroundBitmap), headerCells_(look.headerCells)
{
    cellCount_ = look.cellIds ? (look.cellCount < panelMaxCells ? look.cellCount : panelMaxCells) : 0;
    for (int i = 0; i < cellCount_; ++i)
        cellTable[i] = Cell{look.cellIds[i], false};
}

Win32PanelView::~Win32PanelView() { releaseDrawing(); }

void Win32PanelView::attach(HWND dialog)
{
    releaseDrawing();
    dialog_ = dialog;

    if (backgroundBitmap_) {
        background_ = HBITMAP(LoadImageW(instance_, MAKEINTRESOURCEW(backgroundBitmap_),
                                         IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        if (background_) {
            BITMAP info = {};
            GetObjectW(background_, sizeof info, &info);
            backgroundWidth_ = info.bmWidth;
            backgroundHeight_ = info.bmHeight;
            HDC screen = GetDC(dialog);
            backgroundDc_ = CreateCompatibleDC(screen);
            ReleaseDC(dialog, screen);
            if (backgroundDc_)
                backgroundOld_ = SelectObject(backgroundDc_, background_);
        }
    }
    headerBrush_ = CreateSolidBrush(kHeaderColour);
    droppedBrush_ = CreateSolidBrush(kDroppedColour);
    liveBrush_ = CreateSolidBrush(kLiveColour);
    controlBrush_ = CreateSolidBrush(kControlColour);

    // The grid cells are centred labels in the resource; they are drawn here.
    for (int i = 0; i < cellCount_; ++i) {
        cellTable[i].red = false;
        HWND cell = GetDlgItem(dialog, cellTable[i].id);
        if (!cell)
            continue;
        const LONG_PTR style = GetWindowLongPtrW(cell, GWL_STYLE);
        SetWindowLongPtrW(cell, GWL_STYLE, (style & ~LONG_PTR(SS_TYPEMASK)) | SS_OWNERDRAW);
        InvalidateRect(cell, nullptr, FALSE);
    }
}

void Win32PanelView::detach()
{
    releaseDrawing();
    dialog_ = nullptr;
}

void Win32PanelView::releaseDrawing()
{
    if (backgroundDc_) {
        SelectObject(backgroundDc_, backgroundOld_);
        DeleteDC(backgroundDc_);
    }
    if (background_)
        DeleteObject(background_);
    backgroundDc_ = nullptr;
    background_ = nullptr;
    backgroundOld_ = nullptr;
    backgroundWidth_ = backgroundHeight_ = 0;
    HBRUSH* brushes[] = {&headerBrush_, &droppedBrush_, &liveBrush_, &controlBrush_};
    for (HBRUSH* brush : brushes) {
        if (*brush)
            DeleteObject(*brush);
        *brush = nullptr;
    }
}

int Win32PanelView::cellIndex(int id) const
{
    for (int i = 0; i < cellCount_; ++i)
        if (cellTable[i].id == id)
            return i;
    return -1;
}

HBRUSH Win32PanelView::onCtlColorDialog(HDC dc)
{
    if (!backgroundDc_)
        return nullptr;  // the dialog's own background
    RECT client;
    GetClientRect(dialog_, &client);
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, client.right - client.left, client.bottom - client.top, backgroundDc_, 0,
               0, backgroundWidth_, backgroundHeight_, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
    return HBRUSH(GetStockObject(HOLLOW_BRUSH));  // nothing else erases it
}

HBRUSH Win32PanelView::onCtlColorControl(HDC dc)
{
    SetBkMode(dc, TRANSPARENT);
    return controlBrush_;
}

bool Win32PanelView::onDrawItem(const DRAWITEMSTRUCT& item)
{
    if (item.CtlType != ODT_STATIC)
        return false;
    const int index = cellIndex(int(item.CtlID));
    if (index < 0)
        return false;
    HBRUSH fill = index < headerCells_ ? headerBrush_
                  : cellTable[index].red ? droppedBrush_
                                         : liveBrush_;
    if (fill)
        FillRect(item.hDC, &item.rcItem, fill);

    wchar_t text[cellTextMax];
    const int length = GetWindowTextW(item.hwndItem, text, cellTextMax);
    HFONT font = HFONT(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(item.hDC, font) : nullptr;
    const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(item.hDC, kCellTextColour);
    RECT box = item.rcItem;
    DrawTextW(item.hDC, text, length, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(item.hDC, oldColour);
    SetBkMode(item.hDC, oldMode);
    if (oldFont)
        SelectObject(item.hDC, oldFont);
    return true;
}

void Win32PanelView::setCell(int index, const std::string& utf8, bool red)
{
    if (!dialog_ || index < 0 || index >= cellCount_)
        return;
    HWND cell = GetDlgItem(dialog_, cellTable[index].id);
    if (!cell)
        return;
    // The text stays the control's own text, so WM_GETTEXT reads the grid.
    // Unchanged cells are left alone: the grid is rewritten every second.
    const std::wstring wide = win32::widen(utf8);
    wchar_t current[cellTextMax];
    const int length = GetWindowTextW(cell, current, cellTextMax);
    const bool sameText = length < cellTextMax - 1 && wide.size() == size_t(length) &&
                          wide.compare(0, wide.size(), current, size_t(length)) == 0;
    if (sameText && cellTable[index].red == red)
        return;
    cellTable[index].red = red;
    if (!sameText)
        SetWindowTextW(cell, wide.c_str());
    InvalidateRect(cell, nullptr, FALSE);
}

void Win32PanelView::openDetails()
{
    if (detailsOpener_)
        detailsOpener_();
}

// ----------------------------------------------------------- ListDetailsView

bool ListDetailsView::create(HWND parent, int x, int y, int width, int height,
                             const ListColumn* columns, int columnCount)
{
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                            x, y, width, height, parent, nullptr,
                            HINSTANCE(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!list_)
        return false;
    columnCount_ = 0;
    for (int i = 0; i < columnCount; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_CENTER;
        column.cx = columns[i].width;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.iSubItem = i;
        if (SendMessageW(list_, LVM_INSERTCOLUMNW, WPARAM(i), LPARAM(&column)) < 0)
            break;
        ++columnCount_;
    }
    return true;
}

void ListDetailsView::showRows(const std::vector<std::vector<std::string>>& rows)
{
    if (!list_)
        return;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    int position = 0;
    for (const std::vector<std::string>& row : rows) {
        if (row.empty())
            continue;
        std::wstring first = win32::widen(row[0]);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = position;
        item.pszText = &first[0];
        const LRESULT at = SendMessageW(list_, LVM_INSERTITEMW, 0, LPARAM(&item));
        if (at < 0)
            continue;
        ++position;
        for (size_t col = 1; col < row.size() && int(col) < columnCount_; ++col) {
            std::wstring cell = win32::widen(row[col]);
            LVITEMW sub = {};
            sub.iSubItem = int(col);
            sub.pszText = &cell[0];
            SendMessageW(list_, LVM_SETITEMTEXTW, WPARAM(at), LPARAM(&sub));
        }
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

// ---------------------------------------------------------------- LocalClock

LocalTime LocalClock::now() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}
