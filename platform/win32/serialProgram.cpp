#include "platform/win32/serialProgram.h"

#include <commctrl.h>

#include <system_error>

#include "platform/win32/dialogView.h"

const wchar_t serialThreadFailureText[] = L"无法启动串口接收线程，程序将退出";

namespace {

// What the main window's procedure reaches through the window's user data.
struct Session {
    const SerialToolWindow& window;
    SerialTool& tool;
    ReceivePath& receive;
    bool created = false;        // WM_CREATE succeeded: the message loop will run
    bool threadsFailed = false;  // the receive path could not start
};

LRESULT onCreate(HWND main, Session& session)
{
    const INITCOMMONCONTROLSEX controls = {sizeof controls, session.window.controlClasses};
    InitCommonControlsEx(&controls);
    session.receive.deliverTo(main);
    try {
        session.receive.start();
    } catch (const std::system_error&) {
        session.receive.deliverTo(nullptr);
        session.threadsFailed = true;
        return -1;
    }
    SetPropW(main, session.window.propertyName, HANDLE(1));
    session.created = session.tool.onCreate(main);
    return session.created ? 0 : -1;
}

LRESULT onDestroy(HWND main, Session& session)
{
    // Frames that still come are dropped from now on; one already sent is
    // refused by the destroyed window, so the sender never waits for a
    // window thread that has left its loop.
    session.receive.deliverTo(nullptr);
    RemovePropW(main, session.window.propertyName);
    // Only a window that was created ends a message loop; a failed creation
    // posts no quit message, which would close the start-up message at once.
    if (session.created)
        PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK mainProc(HWND main, UINT message, WPARAM wParam, LPARAM lParam)
{
    Session* session = static_cast<Session*>(mainWindowState(main, message, lParam));
    if (!session)
        return DefWindowProcW(main, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return onCreate(main, *session);
    case serialFrameMessage:
        session->tool.onFrame(reinterpret_cast<const uint8_t*>(lParam), size_t(wParam));
        return 0;
    case WM_SETFOCUS:
        return focusTopDialog(main);
    case WM_DESTROY:
        return onDestroy(main, *session);
    default:
        if (session->tool.onMessage(message, wParam, lParam))
            return 0;
        return DefWindowProcW(main, message, wParam, lParam);
    }
}

void moveToCentre(HWND main)
{
    RECT r = {};
    GetWindowRect(main, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    SetWindowPos(main, HWND_NOTOPMOST, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE);
}

int runWindow(HINSTANCE instance, int showCommand, Session& session)
{
    const SerialToolWindow& w = session.window;
    MainWindowNames names;
    if (!registerMainWindowFromStrings(instance, w.classNameString, w.titleString, w.icon,
                                       w.smallIcon, mainProc, names))
        return 1;
    HWND main = createMainWindow(instance, names.className, names.title, w.left, w.top, w.width,
                                 w.height, &session);
    if (!main) {
        if (session.threadsFailed)
            MessageBoxW(nullptr, serialThreadFailureText, win32::noticeCaption, MB_OK);
        return 1;
    }
    if (w.centred)
        moveToCentre(main);
    ShowWindow(main, showCommand);
    UpdateWindow(main);
    return w.dialogNavigation ? runMessageLoop(main, nullptr) : runPlainMessageLoop();
}

}  // namespace

void WindowFrameSink::onFrame(const uint8_t* frame, size_t total)
{
    if (HWND window = target_.load(std::memory_order_acquire))
        SendMessageW(window, serialFrameMessage, WPARAM(total), LPARAM(frame));
}

bool OneDialogTool::onCreate(HWND main)
{
    return createClientDialog(instance_, dialog_, main, host_) != nullptr;
}

int runSerialTool(HINSTANCE instance, int showCommand, const SerialToolWindow& window,
                  SerialTool& tool, ReceivePath& receive, ComPort& port)
{
    Session session = {window, tool, receive};
    const int result = runWindow(instance, showCommand, session);
    // The threads end first (every wait of theirs is bounded, port open or
    // not); then the port closes under no thread's feet.
    receive.stop();
    port.closeComPort();
    return result;
}
