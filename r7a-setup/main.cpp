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
#include "platform/win32/serialProgram.h"
#include "platform/win32/setupView.h"
#include "r7a-setup/r7aReceive.h"
#include "r7a-setup/r7aSetupDialog.h"
#include "r7a-setup/resource.h"

namespace {

const SerialToolWindow kWindow = {
    IDS_R7A_CLASS, IDS_R7A_TITLE, IDI_R7A_SETUP, IDI_R7A_SMALL,
    550, 180, 274, 470,  // shown where it is created
    false,               // not centred
    false,               // no dialog navigation
    // The IP address controls need the internet classes beside the Win95 set.
    ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES,
    L"corvoLinkTest__20170523_QV",
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    SerialPort port;
    R7aReceiveBuffer incoming;
    R7aReceiver receiver(port, incoming);
    ReceivePathOf<R7aReceiver> receive(receiver);
    ButtonFaceView view(instance);
    OwnerlessBox box;
    R7aSetupDialog dialog(view, port, incoming, box, systemTextCodec());
    R7aHooks hooks(dialog);
    OneDialogTool tool(instance, IDD_R7A_SETUP, view, hooks);
    return runSerialTool(instance, showCommand, kWindow, tool, receive, port);
}
