// readersetup: the reader configuration tool. Reads a reader's parameter
// record over a COM port, shows the page of its model and writes the edited
// parameters back.
//
// The main window hosts the port-choice dialog and, once a reader has
// answered, the page of its model. The serial link's threads start with the
// window; every frame they cut is sent to the window thread, where the shell
// and the dialogs handle it.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <vector>

#include "common/textCodec.h"
#include "platform/serialPort.h"
#include "platform/win32/setupView.h"
#include "platform/win32/windowShell.h"
#include "serial/configFrame.h"
#include "serial/serialLink.h"
#include "setup/resource.h"
#include "setup/setupShell.h"
#include "setup/domainPage.h"
#include "setup/networkPage.h"
#include "setup/setupBuild.h"

namespace {

const wchar_t kWindowProperty[] = L"readerSetupKit__20220905_QV";

// The build this program is (36 = V3.6 unless the build says otherwise).
#ifndef READERSETUP_BUILD
#define READERSETUP_BUILD 36
#endif

// What the main window's procedure reaches through the window's user data.
struct Program {
    SetupShell& shell;
    Win32SetupWindow& window;
    SerialLink& link;
    WindowFrameSink& sink;
};

LRESULT onCreate(HWND window, Program& program)
{
    const INITCOMMONCONTROLSEX controls = {sizeof controls,
                                           ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    program.window.setMainWindow(window);
    program.sink.setTarget(window);
    program.link.start();
    SetPropW(window, kWindowProperty, HANDLE(1));
    program.shell.onCreate();
    return 0;
}

LRESULT onFrame(Program& program, WPARAM total, LPARAM frame)
{
    dispatchFrame(reinterpret_cast<const uint8_t*>(frame), size_t(total), program.shell);
    return 0;
}

LRESULT onModelReady(Program& program, LPARAM block)
{
    program.shell.onModelReady(*reinterpret_cast<const ModelReadyBlock*>(block));
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
    case setupModelReadyMessage:
        return onModelReady(*program, lParam);
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
    if (!registerMainWindowFromStrings(instance, IDS_WINDOW_CLASS, IDS_APP_TITLE, IDI_READERSETUP, IDI_SMALL, mainProc, names))
        return 1;

    SerialPort port;
    WindowFrameSink sink;
    SerialLink link(port, sink);
    Win32SetupWindow window(instance);
    const SetupBuild& build = *setupBuild(READERSETUP_BUILD);
    SetupShell shell(port, window, build.pages, build.pageCount, build.sortedLists);

    // The dialogs: the port choice and the model pages, each with its view.
    Win32SetupView choiceView(instance);
    PortChoiceDialog choice(shell, choiceView);
    window.add(choice, choiceView);
    std::vector<std::unique_ptr<Win32SetupView>> views;
    std::vector<std::unique_ptr<ParamPage>> modelPages;
    for (size_t i = 0; i < build.pageCount; ++i) {
        views.push_back(std::make_unique<Win32SetupView>(instance));
        const TextCodec& codec = systemTextCodec();
        if (const NetworkPageTraits* traits = build.networkPage(build.pages[i].model))
            modelPages.push_back(std::make_unique<NetworkPage>(shell, *views.back(), codec, *traits));
        else  // the one page without a connect mode: the domain page
            modelPages.push_back(std::make_unique<DomainPage>(shell, *views.back(), codec));
        window.add(*modelPages.back(), *views.back());
    }
    Program program = {shell, window, link, sink};

    const WindowRect start = SetupShell::startRect();
    HWND main = createMainWindow(instance, names.className, names.title, start.left, start.top,
                                 start.width, start.height, &program);
    if (!main)
        return 1;
    window.setWindowRect(SetupShell::centred(window.windowRect(), GetSystemMetrics(SM_CXSCREEN),
                                             GetSystemMetrics(SM_CYSCREEN)));
    ShowWindow(main, showCommand);
    UpdateWindow(main);

    const int result = runMessageLoop(main, nullptr);
    // The link's threads end first (every wait of the receive thread is
    // bounded, open port or not); then the port closes.
    link.stop();
    port.closeComPort();
    return result;
}
