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
#include "platform/win32/linkReceivePath.h"
#include "platform/win32/setupView.h"
#include "rssifilter/resource.h"
#include "rssifilter/rssiFilter.h"

namespace {

const SerialToolWindow kWindow = {
    IDS_WINDOW_CLASS, IDS_APP_TITLE, IDI_RSSIFILTER, IDI_SMALL,
    rssiWindowLeft, rssiWindowTop, rssiWindowWidth, rssiWindowHeight,
    true,   // centred
    false,  // no dialog navigation: Tab does not move between the controls
    ICC_WIN95_CLASSES,
    L"corvoLinkTest__20170523_QV",
};

// The controller seen through the hosted dialog's hooks.
class RssiHooks : public DialogHooks {
public:
    explicit RssiHooks(RssiFilterDialog& dialog) : dialog_(dialog) {}
    void onInit() override { dialog_.onInit(); }
    // The controller looks at the control identifier only.
    void onCommand(int id, int) override { dialog_.onCommand(id); }
    void onTimer(int id) override { dialog_.onTimer(id); }
    void onDestroy() override {}

private:
    RssiFilterDialog& dialog_;
};

// The dialog over the client area; the reader's replies go to its controller.
class RssiTool : public OneDialogTool {
public:
    RssiTool(HINSTANCE instance, ButtonFaceView& view, RssiFilterDialog& dialog, RssiHooks& hooks)
        : OneDialogTool(instance, IDD_RSSI_FILTER, view, hooks), dialog_(dialog)
    {
    }
    void onFrame(const uint8_t* frame, size_t total) override { dialog_.onFrame(frame, total); }

private:
    RssiFilterDialog& dialog_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    SerialPort port;
    LinkReceivePath receive(port);
    ButtonFaceView view(instance);
    RssiFilterDialog dialog(port, view, systemTextCodec());
    RssiHooks hooks(dialog);
    RssiTool tool(instance, view, dialog, hooks);
    return runSerialTool(instance, showCommand, kWindow, tool, receive, port);
}
