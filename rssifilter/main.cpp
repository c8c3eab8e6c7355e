// rssifilter: the signal filter tool. Reads a reader's RSSI threshold over
// a COM port and writes a new one.
//
// The main window hosts the tool's one dialog. The serial link's threads
// start with the window; every frame they cut is sent to the window thread,
// where the dialog's controller dispatches it, so the controls, the timer
// and the message boxes are only touched by the thread that owns them.
#include <windows.h>

#include <commctrl.h>

#include "common/textCodec.h"
#include "platform/serialPort.h"
#include "platform/win32/setupView.h"
#include "platform/win32/windowShell.h"
#include "rssifilter/resource.h"
#include "rssifilter/rssiFilter.h"
#include "serial/serialLink.h"

namespace {

const wchar_t kWindowProperty[] = L"corvoLinkTest__20170523_QV";

// The dialog's view: labels in the window-text colour on the button face.
class RssiFilterView : public Win32SetupView {
public:
    using Win32SetupView::Win32SetupView;
    HBRUSH onCtlColorControl(HDC dc) override
    {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return GetSysColorBrush(COLOR_BTNFACE);
    }
};

// The controller seen through the hosted dialog's hooks.
class DialogHooksFor : public DialogHooks {
public:
    explicit DialogHooksFor(RssiFilterDialog& dialog) : dialog_(dialog) {}
    void onInit() override { dialog_.onInit(); }
    // The controller looks at the control identifier only.
    void onCommand(int id, int) override { dialog_.onCommand(id); }
    void onTimer(int id) override { dialog_.onTimer(id); }
    void onDestroy() override {}

private:
    RssiFilterDialog& dialog_;
};

// What the main window's procedure reaches through the window's user data.
struct Program {
    HINSTANCE instance;
    RssiFilterDialog& dialog;
    DialogHost& host;
    SerialLink& link;
    WindowFrameSink& sink;
};

LRESULT onCreate(HWND window, Program& program)
{
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    program.sink.setTarget(window);
    program.link.start();
    SetPropW(window, kWindowProperty, HANDLE(1));
    return createClientDialog(program.instance, IDD_RSSI_FILTER, window, program.host) ? 0 : -1;
}

LRESULT onFrame(Program& program, WPARAM total, LPARAM frame)
{
    program.dialog.onFrame(reinterpret_cast<const uint8_t*>(frame), size_t(total));
    return 0;
}

LRESULT onDestroy(HWND window, Program& program)
{
    program.sink.setTarget(nullptr);
    RemovePropW(window, kWindowProperty);
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Program* program = static_cast<Program*>(mainWindowState(window, message, lParam));
    if (!program)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return onCreate(window, *program);
    case setupFrameMessage:
        return onFrame(*program, wParam, lParam);
    case WM_SETFOCUS:
        return focusTopDialog(window);
    case WM_DESTROY:
        return onDestroy(window, *program);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    MainWindowNames names;
    if (!registerMainWindowFromStrings(instance, IDS_WINDOW_CLASS, IDS_APP_TITLE, IDI_RSSIFILTER, IDI_SMALL, mainProc, names))
        return 1;

    SerialPort port;
    WindowFrameSink sink;
    SerialLink link(port, sink);
    RssiFilterView view(instance);
    RssiFilterDialog dialog(port, view, systemTextCodec());
    DialogHooksFor hooks(dialog);
    DialogHost host = {&view, &hooks};
    Program program = {instance, dialog, host, link, sink};

    HWND main = createMainWindow(instance, names.className, names.title, rssiWindowLeft,
                                 rssiWindowTop, rssiWindowWidth, rssiWindowHeight, &program);
    if (!main)
        return 1;
    RECT r = {};
    GetWindowRect(main, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    SetWindowPos(main, HWND_NOTOPMOST, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE);
    ShowWindow(main, showCommand);
    UpdateWindow(main);

    // No dialog navigation: Tab does not move between the controls.
    const int result = runPlainMessageLoop();
    // The link's threads end first; then the port closes.
    link.stop();
    port.closeComPort();
    return result;
}
