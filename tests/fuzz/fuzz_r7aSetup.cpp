// The legacy settings tool's receive path under arbitrary bytes: the input
// arrives in pieces (the first byte of each piece gives its length), each
// piece followed by one parse of the dialog (ten ticks), which cuts,
// checks and shows whatever whole frames it finds. Nothing may read or
// write outside its buffers, whatever the lengths, CRCs and commands say.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/textCodec.h"
#include "r7a-setup/r7aSetupDialog.h"
#include "r7a-setup/resource.h"

namespace {

// A view that keeps nothing but what the dialog reads back.
class QuietView : public SetupView {
public:
    std::string text(int) const override { return "-80"; }
    void setText(int, const std::string&) override {}
    void enable(int, bool) override {}
    bool checked(int) const override { return true; }
    void setChecked(int, bool) override {}
    std::string address(int) const override { return "192.168.1.1"; }
    void setAddress(int, const std::string&) override {}
    void message(const std::string&, MessageStyle) override {}
    void startTimer(int, int) override {}
    void killTimer(int) override {}
    void show(int, bool) override {}
    void clearItems(int) override {}
    void addItem(int, const std::string&) override {}
    int selection(int) const override { return 2; }
    void setSelection(int, int) override {}
    void setPasswordMasked(int, bool) override {}
    void setButtonBitmap(int, int) override {}
    void notice(const std::string&) override {}
    void postQuit(int) override {}
};

class OpenPort : public ComPort {
public:
    uint32_t probeComPorts() override { return 1; }
    bool openComPort(int) override { return true; }
    void closeComPort() override {}
    bool isOpen() const override { return true; }
    void writeComBytes(const uint8_t*, size_t) override {}
};

class NoBox : public PlainMessageBox {
public:
    void show(const std::string&, const std::string&) override {}
};

// Stands in for GBK: the fuzzer's bytes are shown as they are.
class PassCodec : public TextCodec {
public:
    std::string utf8ToGbk(const std::string& s) const override { return s; }
    std::string gbkToUtf8(const std::string& s) const override { return s; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QuietView view;
    OpenPort port;
    R7aReceiveBuffer incoming;
    NoBox box;
    PassCodec codec;
    R7aSetupDialog dialog(view, port, incoming, box, codec);
    dialog.onInit();
    dialog.onCommand(IDC_R7A_PORT_BUTTON);
    size_t at = 0;
    while (at < size) {
        const size_t piece = data[at++];
        const size_t n = piece < size - at ? piece : size - at;
        incoming.append(data + at, n);
        at += n;
        for (int i = 0; i < r7aTicksPerParse; ++i)
            dialog.onTimer(IDT_R7A_PARSE);
        if (n == 0 && (piece & 1))
            dialog.onCommand(IDC_R7A_APPLY);
    }
    return 0;
}
