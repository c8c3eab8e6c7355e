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
#include "platform/win32/linkReceivePath.h"
#include "platform/win32/setupView.h"
#include "platform/win32/setupWindow.h"
#include "serial/configFrame.h"
#include "setup/domainPage.h"
#include "setup/networkPage.h"
#include "setup/resource.h"
#include "setup/setupBuild.h"
#include "setup/setupShell.h"

namespace {

// The build this program is (36 = V3.6 unless the build says otherwise).
#ifndef READERSETUP_BUILD
#define READERSETUP_BUILD 36
#endif

// The shell over the main window: the frames go to the configuration
// frame's dispatcher, WM_MODEL_READY to the shell.
class SetupTool : public SerialTool {
public:
    SetupTool(SetupShell& shell, Win32SetupWindow& window) : shell_(shell), window_(window) {}
    bool onCreate(HWND main) override
    {
        window_.setMainWindow(main);
        shell_.onCreate();
        return true;
    }
    void onFrame(const uint8_t* frame, size_t total) override { dispatchFrame(frame, total, shell_); }
    bool onMessage(UINT message, WPARAM, LPARAM lParam) override
    {
        if (message != setupModelReadyMessage)
            return false;
        shell_.onModelReady(*reinterpret_cast<const ModelReadyBlock*>(lParam));
        return true;
    }

private:
    SetupShell& shell_;
    Win32SetupWindow& window_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    SerialPort port;
    LinkReceivePath receive(port);
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
    SetupTool tool(shell, window);

    const WindowRect start = SetupShell::startRect();
    const SerialToolWindow mainWindow = {
        IDS_WINDOW_CLASS, IDS_APP_TITLE, IDI_READERSETUP, IDI_SMALL,
        start.left, start.top, start.width, start.height,
        true,  // centred
        true,  // dialog navigation: Tab moves between a page's controls
        ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES,
        L"readerSetupKit__20220905_QV",
    };
    return runSerialTool(instance, showCommand, mainWindow, tool, receive, port);
}
