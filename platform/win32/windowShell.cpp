#include "platform/win32/windowShell.h"

#include <commctrl.h>

namespace {

// One main window and its panel; reached from the main window's procedure
// through the window's user data. It drives the panel dialog as its hooks.
struct Shell : DialogHooks {
    HINSTANCE instance;
    const ShellResources* resources;
    DialogSurface* view;
    PanelHooks* hooks;
    HWND main = nullptr;
    DialogHost panelHost = {};

    Shell(HINSTANCE instance, const ShellResources& resources, DialogSurface& view,
          PanelHooks& hooks)
        : instance(instance), resources(&resources), view(&view), hooks(&hooks)
    {
    }
    HWND panel() const { return view->hwnd(); }

    void onInit() override { hooks->onInit(); }
    void onCommand(int id, int code) override
    {
        // Clicks and accelerators; edit notifications are not commands.
        if (code == BN_CLICKED || code == 1)
            hooks->onCommand(id);
    }
    void onTimer(int id) override { hooks->onTimer(id); }
    void onDestroy() override { PostQuitMessage(0); }
};

struct DetailsSession {
    const DetailsLayout* layout;
    ListDetailsView* list;
    const std::function<void()>* onTick;
};

constexpr int kClassNameMax = 64;
constexpr int kTitleMax = 128;

// -------------------------------------------------------------- hosted dialog

INT_PTR onHostedInit(HWND dialog, DialogHost* host)
{
    SetWindowLongPtrW(dialog, DWLP_USER, LONG_PTR(host));
    host->view->attach(dialog);
    host->hooks->onInit();
    return TRUE;
}

INT_PTR onHostedCommand(DialogHost& host, WPARAM wParam)
{
    host.hooks->onCommand(LOWORD(wParam), HIWORD(wParam));
    return TRUE;
}

INT_PTR onHostedTimer(DialogHost& host, WPARAM timerId)
{
    host.hooks->onTimer(int(timerId));
    return TRUE;
}

INT_PTR onHostedDrawItem(DialogHost& host, LPARAM item)
{
    return host.view->onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(item)) ? TRUE : FALSE;
}

INT_PTR onHostedDestroy(HWND dialog, DialogHost& host)
{
    host.hooks->onDestroy();
    host.view->detach();
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    return FALSE;
}

INT_PTR CALLBACK hostedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return onHostedInit(dialog, reinterpret_cast<DialogHost*>(lParam));
    DialogHost* host = reinterpret_cast<DialogHost*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!host)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return onHostedCommand(*host, wParam);
    case WM_TIMER:
        return onHostedTimer(*host, wParam);
    case WM_CTLCOLORDLG:
        return INT_PTR(host->view->onCtlColorDialog(HDC(wParam)));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return INT_PTR(host->view->onCtlColorControl(HDC(wParam)));
    case WM_DRAWITEM:
        return onHostedDrawItem(*host, lParam);
    case WM_DESTROY:
        return onHostedDestroy(dialog, *host);
    default:
        return FALSE;
    }
}

// The child of main that holds window, or null.
HWND childDialogOf(HWND main, HWND window)
{
    for (HWND w = window; w && w != main; w = GetAncestor(w, GA_PARENT)) {
        if (GetAncestor(w, GA_PARENT) == main)
            return w;
    }
    return nullptr;
}

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

// ----------------------------------------------------------------- main window

LRESULT onMainCreate(HWND window, Shell& shell)
{
    shell.main = window;
    SetPropW(window, shell.resources->propertyName, HANDLE(1));
    shell.panelHost = DialogHost{shell.view, &shell};
    if (!createHostedDialog(shell.instance, shell.resources->panelDialog, window, shell.panelHost))
        return -1;
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
    if (HWND panel = shell.panel())
        SetFocus(panel);
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
    Shell* shell = static_cast<Shell*>(mainWindowState(window, message, lParam));
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

HWND createHostedDialog(HINSTANCE instance, int dialog, HWND parent, DialogHost& host)
{
    HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(dialog), parent, hostedProc,
                                     LPARAM(&host));
    if (window)
        ShowWindow(window, SW_SHOW);
    return window;
}

bool registerMainWindowClass(HINSTANCE instance, const wchar_t* className, int icon, int smallIcon,
                             WNDPROC procedure)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(icon));
    wc.hIconSm = HICON(LoadImageW(instance, MAKEINTRESOURCEW(smallIcon), IMAGE_ICON,
                                  GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                  LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) != 0;
}

HWND createMainWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, int x,
                      int y, int width, int height, void* param)
{
    return CreateWindowExW(0, className, title,
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                               WS_MAXIMIZEBOX,
                           x, y, width, height, nullptr, nullptr, instance, param);
}

void* mainWindowState(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    return reinterpret_cast<void*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

bool registerMainWindowFromStrings(HINSTANCE instance, int classString, int titleString, int icon,
                                   int smallIcon, WNDPROC procedure, MainWindowNames& names)
{
    LoadStringW(instance, UINT(classString), names.className, MainWindowNames::maxChars);
    LoadStringW(instance, UINT(titleString), names.title, MainWindowNames::maxChars);
    return names.className[0] &&
           registerMainWindowClass(instance, names.className, icon, smallIcon, procedure);
}

HWND createClientDialog(HINSTANCE instance, int dialog, HWND parent, DialogHost& host)
{
    HWND created = createHostedDialog(instance, dialog, parent, host);
    if (!created)
        return nullptr;
    RECT client = {};
    GetClientRect(parent, &client);
    MoveWindow(created, 0, 0, client.right, client.bottom, TRUE);
    return created;
}

LRESULT focusTopDialog(HWND main)
{
    if (HWND dialog = GetWindow(main, GW_CHILD))
        SetFocus(dialog);
    return 0;
}

int runPlainMessageLoop()
{
    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

int runMessageLoop(HWND main, HACCEL accelerators)
{
    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (accelerators && IsWindow(main) &&
            TranslateAcceleratorW(main, accelerators, &msg))
            continue;
        HWND dialog = childDialogOf(main, msg.hwnd);
        if (dialog && IsDialogMessageW(dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

int runWindowShell(HINSTANCE instance, const ShellResources& resources, DialogSurface& view,
                   PanelHooks& hooks, int showCommand)
{
    wchar_t className[kClassNameMax] = {};
    wchar_t title[kTitleMax] = {};
    LoadStringW(instance, UINT(resources.classNameString), className, kClassNameMax);
    LoadStringW(instance, UINT(resources.titleString), title, kTitleMax);
    if (!className[0] ||
        !registerMainWindowClass(instance, className, resources.icon, resources.icon, mainProc))
        return 1;

    Shell shell(instance, resources, view, hooks);
    HWND window = createMainWindow(instance, className, title, CW_USEDEFAULT, 0, resources.width,
                                   resources.height, &shell);
    if (!window)
        return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resources.accelerators));
    const int result = runMessageLoop(window, accelerators);
    if (shell.main)
        DestroyWindow(shell.main);  // the panel ended the loop
    return result;
}

void runDetailsDialog(HINSTANCE instance, HWND owner, const DetailsLayout& layout,
                      ListDetailsView& list, const std::function<void()>& onTick)
{
    DetailsSession session = {&layout, &list, &onTick};
    HWND parent = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(layout.dialog), parent, detailsProc,
                    LPARAM(&session));
}
