// r7a-setup: the legacy settings tool. Reads the whole parameter record of
// an R7A reader over a COM port when the port is opened, shows it in its one
// dialog and writes it back with "应用", in the reader's older dialect.
//
// The main window hosts dialog 129. The receive thread runs from the
// window's creation to the end of the program and only fills the receive
// buffer; the dialog's controller drains it on its timer, on this thread.
#include <windows.h>

#include <commctrl.h>

#include "common/textCodec.h"
#include "platform/serialPort.h"
#include "platform/win32/setupView.h"
#include "platform/win32/windowShell.h"
#include "r7a-setup/r7aReceive.h"
#include "r7a-setup/r7aSetupDialog.h"
#include "r7a-setup/resource.h"

namespace {

const wchar_t kWindowProperty[] = L"corvoLinkTest__20170523_QV";
// Where the window is created and shown, in pixels.
constexpr int kLeft = 550, kTop = 180, kWidth = 274, kHeight = 470;

// The dialog's static texts: window-text colour on the button face.
class R7aView : public Win32SetupView {
public:
    using Win32SetupView::Win32SetupView;
    HBRUSH onCtlColorControl(HDC dc) override
    {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return GetSysColorBrush(COLOR_BTNFACE);
    }
};

// "参数设定成功！": no owner window, no icon.
class OwnerlessBox : public PlainMessageBox {
public:
    void show(const std::string& utf8, const std::string& captionUtf8) override
    {
        MessageBoxW(nullptr, win32::widen(utf8).c_str(), win32::widen(captionUtf8).c_str(), MB_OK);
    }
};

class R7aHooks : public DialogHooks {
public:
    explicit R7aHooks(R7aSetupDialog& dialog) : dialog_(dialog) {}
    void onInit() override { dialog_.onInit(); }
    void onCommand(int id, int code) override
    {
        if (code == BN_CLICKED)  // list and edit notifications are not commands here
            dialog_.onCommand(id);
    }
    void onTimer(int id) override { dialog_.onTimer(id); }
    void onDestroy() override { dialog_.onDestroy(); }

private:
    R7aSetupDialog& dialog_;
};

// What the main window's procedure reaches through the window's user data.
struct Program {
    HINSTANCE instance;
    R7aReceiver& receiver;
    DialogHost host;
};

LRESULT onCreate(HWND window, Program& program)
{
    SetPropW(window, kWindowProperty, HANDLE(1));
    // The IP address controls need the internet classes beside the Win95 set.
    const INITCOMMONCONTROLSEX controls = {sizeof controls,
                                           ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    program.receiver.start();
    return createClientDialog(program.instance, IDD_R7A_SETUP, window, program.host) ? 0 : -1;
}

LRESULT onDestroy(HWND window)
{
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
    case WM_SETFOCUS:
        return focusTopDialog(window);
    case WM_DESTROY:
        return onDestroy(window);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    MainWindowNames names;
    if (!registerMainWindowFromStrings(instance, IDS_R7A_CLASS, IDS_R7A_TITLE, IDI_R7A_SETUP, IDI_R7A_SMALL, mainProc, names))
        return 1;

    SerialPort port;
    R7aReceiveBuffer incoming;
    R7aReceiver receiver(port, incoming);
    R7aView view(instance);
    OwnerlessBox box;
    R7aSetupDialog dialog(view, port, incoming, box, systemTextCodec());
    R7aHooks hooks(dialog);
    Program program = {instance, receiver, {&view, &hooks}};

    HWND main = createMainWindow(instance, names.className, names.title, kLeft, kTop, kWidth,
                                 kHeight, &program);
    if (!main) {
        receiver.stop();
        return 1;
    }
    ShowWindow(main, showCommand);
    UpdateWindow(main);

    // Messages go straight to their windows, without dialog navigation.
    const int result = runPlainMessageLoop();
    // The receive thread ends first (its waits are bounded, port open or
    // not); then the port closes.
    receiver.stop();
    port.closeComPort();
    return result;
}
