#include "platform/win32/windowShell.h"

#include <commctrl.h>

namespace {

// One main window and its panel; reached from the procedures through the
// window's user data.
struct Shell {
    HINSTANCE instance;
    const ShellResources* resources;
    DialogSurface* view;
    PanelHooks* hooks;
    HWND main;
    HWND panel;
};

struct DetailsSession {
    const DetailsLayout* layout;
    ListDetailsView* list;
    const std::function<void()>* onTick;
};

constexpr int kClassNameMax = 64;
constexpr int kTitleMax = 128;

// ------------------------------------------------------------------ about box

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

// ---------------------------------------------------------------- panel dialog

INT_PTR onPanelInit(HWND panel, Shell* shell)
{
    SetWindowLongPtrW(panel, DWLP_USER, LONG_PTR(shell));
    shell->panel = panel;
    shell->view->attach(panel);
    shell->hooks->onInit();
    return TRUE;
}

INT_PTR onPanelCommand(Shell& shell, WPARAM wParam)
{
    // Clicks and accelerators; edit notifications are not commands.
    const WORD code = HIWORD(wParam);
    if (code == BN_CLICKED || code == 1)
        shell.hooks->onCommand(LOWORD(wParam));
    return TRUE;
}

INT_PTR onPanelTimer(Shell& shell, WPARAM timerId)
{
    shell.hooks->onTimer(int(timerId));
    return TRUE;
}

INT_PTR onPanelDrawItem(Shell& shell, LPARAM item)
{
    return shell.view->onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(item)) ? TRUE : FALSE;
}

INT_PTR onPanelDestroy(Shell& shell)
{
    shell.view->detach();
    shell.panel = nullptr;
    PostQuitMessage(0);
    return FALSE;
}

INT_PTR CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return onPanelInit(panel, reinterpret_cast<Shell*>(lParam));
    Shell* shell = reinterpret_cast<Shell*>(GetWindowLongPtrW(panel, DWLP_USER));
    if (!shell)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return onPanelCommand(*shell, wParam);
    case WM_TIMER:
        return onPanelTimer(*shell, wParam);
    case WM_CTLCOLORDLG:
        return INT_PTR(shell->view->onCtlColorDialog(HDC(wParam)));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return INT_PTR(shell->view->onCtlColorControl(HDC(wParam)));
    case WM_DRAWITEM:
        return onPanelDrawItem(*shell, lParam);
    case WM_DESTROY:
        return onPanelDestroy(*shell);
    default:
        return FALSE;
    }
}

// ----------------------------------------------------------------- main window

LRESULT onMainCreate(HWND window, Shell& shell)
{
    shell.main = window;
    SetPropW(window, shell.resources->propertyName, HANDLE(1));
    HWND panel = CreateDialogParamW(shell.instance, MAKEINTRESOURCEW(shell.resources->panelDialog),
                                    window, panelProc, LPARAM(&shell));
    if (!panel)
        return -1;
    ShowWindow(panel, SW_SHOW);
    return 0;
}

LRESULT onMainCommand(Shell& shell, int id)
{
    if (id == shell.resources->aboutCommand)
        DialogBoxParamW(shell.instance, MAKEINTRESOURCEW(shell.resources->aboutDialog), shell.main,
                        aboutProc, 0);
    return 0;
}

LRESULT onMainSetFocus(Shell& shell)
{
    // Keyboard input belongs to the panel's controls.
    if (shell.panel)
        SetFocus(shell.panel);
    return 0;
}

LRESULT onMainDestroy(HWND window, Shell& shell)
{
    RemovePropW(window, shell.resources->propertyName);
    shell.main = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    Shell* shell = reinterpret_cast<Shell*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!shell)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return onMainCreate(window, *shell);
    case WM_COMMAND:
        return onMainCommand(*shell, LOWORD(wParam));
    case WM_SETFOCUS:
        return onMainSetFocus(*shell);
    case WM_DESTROY:
        return onMainDestroy(window, *shell);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool registerMainClass(HINSTANCE instance, const ShellResources& resources, const wchar_t* name)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(resources.icon));
    wc.hIconSm = HICON(LoadImageW(instance, MAKEINTRESOURCEW(resources.icon), IMAGE_ICON,
                                  GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                  LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

// -------------------------------------------------------------- details dialog

// Centres the dialog over its owner and grows it by one pixel each way.
void centreOverOwner(HWND dialog)
{
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner)
        return;
    RECT outer, own;
    GetWindowRect(owner, &outer);
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int left = outer.left + ((outer.right - outer.left) - width) / 2;
    const int top = outer.top + ((outer.bottom - outer.top) - height) / 2;
    MoveWindow(dialog, left, top, width + 1, height + 1, FALSE);
}

INT_PTR onDetailsInit(HWND dialog, DetailsSession* session)
{
    SetWindowLongPtrW(dialog, DWLP_USER, LONG_PTR(session));
    const DetailsLayout& layout = *session->layout;
    centreOverOwner(dialog);
    session->list->create(dialog, layout.listX, layout.listY, layout.listWidth, layout.listHeight,
                          layout.columns, layout.columnCount);
    SetTimer(dialog, UINT_PTR(layout.timerId), UINT(layout.periodMs), nullptr);
    return TRUE;
}

INT_PTR onDetailsTimer(DetailsSession& session, WPARAM timerId)
{
    if (int(timerId) == session.layout->timerId && *session.onTick)
        (*session.onTick)();
    return TRUE;
}

INT_PTR onDetailsCommand(HWND dialog, DetailsSession& session, int id)
{
    if (id != IDOK && id != IDCANCEL)
        return FALSE;
    KillTimer(dialog, UINT_PTR(session.layout->timerId));
    EndDialog(dialog, id);
    return TRUE;
}

INT_PTR onDetailsDestroy(DetailsSession& session)
{
    session.list->release();
    return FALSE;
}

INT_PTR CALLBACK detailsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return onDetailsInit(dialog, reinterpret_cast<DetailsSession*>(lParam));
    DetailsSession* session = reinterpret_cast<DetailsSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!session)
        return FALSE;
    switch (message) {
    case WM_TIMER:
        return onDetailsTimer(*session, wParam);
    case WM_COMMAND:
        return onDetailsCommand(dialog, *session, LOWORD(wParam));
    case WM_DESTROY:
        return onDetailsDestroy(*session);
    default:
        return FALSE;
    }
}

}  // namespace

int runWindowShell(HINSTANCE instance, const ShellResources& resources, DialogSurface& view,
                   PanelHooks& hooks, int showCommand)
{
    wchar_t className[kClassNameMax] = {};
    wchar_t title[kTitleMax] = {};
    LoadStringW(instance, UINT(resources.classNameString), className, kClassNameMax);
    LoadStringW(instance, UINT(resources.titleString), title, kTitleMax);
    if (!className[0] || !registerMainClass(instance, resources, className))
        return 1;

    Shell shell = {instance, &resources, &view, &hooks, nullptr, nullptr};
    HWND window = CreateWindowExW(
        0, className, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
        CW_USEDEFAULT, 0, resources.width, resources.height, nullptr, nullptr, instance, &shell);
    if (!window)
        return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resources.accelerators));
    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (accelerators && shell.main && TranslateAcceleratorW(shell.main, accelerators, &msg))
            continue;
        if (shell.panel && IsDialogMessageW(shell.panel, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (shell.main)
        DestroyWindow(shell.main);  // the panel ended the loop
    return int(msg.wParam);
}

void runDetailsDialog(HINSTANCE instance, HWND owner, const DetailsLayout& layout,
                      ListDetailsView& list, const std::function<void()>& onTick)
{
    DetailsSession session = {&layout, &list, &onTick};
    HWND parent = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(layout.dialog), parent, detailsProc,
                    LPARAM(&session));
}
