// Feeds arbitrary frames and user actions to the signal filter tool's
// dialog: raw frames straight to its dispatcher, frames with a sound CRC
// and any command and payload, bytes through the serial cutter, ticks of
// the reply timer, presses of the port button and applies of any text.
// Nothing may crash; everything written to the port is one of the tool's
// three requests (a written threshold within -127 to 0); the countdown
// stays within its three ticks and runs only while the port is open.
//
// Input: a stream of operations, each an opcode byte and its operands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/textCodec.h"
#include "rssifilter/rssiFilter.h"
#include "serial/configFrame.h"
#include "serial/frameCutter.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

constexpr int kPortButton = 1014;
constexpr int kThreshold = 1024;
constexpr int kApply = 1067;
constexpr int kReplyTimer = 1;

// Keeps the texts, lists and timers the dialog reads back.
class StateView : public SetupView {
public:
    std::string text(int id) const override
    {
        auto list = items_.find(id);
        if (list != items_.end())
            return selection_ >= 0 && size_t(selection_) < list->second.size()
                       ? list->second[size_t(selection_)]
                       : std::string();
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }
    void setText(int id, const std::string& utf8) override { texts_[id] = utf8; }
    void enable(int, bool) override {}
    bool checked(int) const override { return false; }
    void setChecked(int, bool) override {}
    std::string address(int) const override { return {}; }
    void setAddress(int, const std::string&) override {}
    void message(const std::string&, MessageStyle) override {}
    void startTimer(int id, int) override { timer_ = id == kReplyTimer; }
    void killTimer(int id) override { timer_ = timer_ && id != kReplyTimer; }
    void show(int, bool) override {}
    void clearItems(int id) override { items_[id].clear(); }
    void addItem(int id, const std::string& utf8) override { items_[id].push_back(utf8); }
    int selection(int) const override { return selection_; }
    void setSelection(int, int index) override { selection_ = index; }
    void setPasswordMasked(int, bool) override {}
    void setButtonBitmap(int, int) override {}
    void notice(const std::string&) override {}
    void postQuit(int) override {}

    void type(int id, const std::string& text) { texts_[id] = text; }
    bool timerRunning() const { return timer_; }

private:
    std::map<int, std::string> texts_;
    std::map<int, std::vector<std::string>> items_;
    int selection_ = -1;
    bool timer_ = false;
};

// COM1 only; every write checked as a request of the tool.
class CheckingPort : public ComPort {
public:
    uint32_t probeComPorts() override { return 1; }
    bool openComPort(int number) override
    {
        open_ = number == 1;
        return open_;
    }
    void closeComPort() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        ConfigFrame f;
        check(configFrameCheck(bytes, count, &f) == ConfigCheck::ok);
        check(f.level == 0);
        switch (f.command) {
        case configCmdReadRequest:
        case configCmdRssiRead:
            check(f.length == 0);
            break;
        case configCmdRssiWrite: {
            check(f.length == 1);
            const int t = int8_t(f.payload[0]);
            check(t >= rssiThresholdMin && t <= rssiThresholdMax);
            break;
        }
        default:
            check(false);
        }
    }

private:
    bool open_ = false;
};

class DialogSink : public FrameSink {
public:
    explicit DialogSink(RssiFilterDialog& dialog) : dialog_(dialog) {}
    void onFrame(const uint8_t* frame, size_t total) override { dialog_.onFrame(frame, total); }

private:
    RssiFilterDialog& dialog_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckingPort port;
    StateView view;
    RssiFilterDialog dialog(port, view, systemTextCodec());
    DialogSink sink(dialog);
    FrameCutter cutter;
    dialog.onInit();

    size_t at = 0;
    // The next n operand bytes (fewer at the end of the input).
    auto take = [&](size_t n) {
        const size_t k = n < size - at ? n : size - at;
        const uint8_t* p = data + at;
        at += k;
        return std::vector<uint8_t>(p, p + k);
    };
    while (at < size) {
        const uint8_t op = data[at++];
        const size_t n = at < size ? data[at++] : 0;
        switch (op % 6) {
        case 0:
            dialog.onCommand(kPortButton);
            break;
        case 1:
            dialog.onTimer(int(n % 3));  // the reply timer and others
            break;
        case 2: {
            const std::vector<uint8_t> t = take(n % 48);
            view.type(kThreshold, std::string(t.begin(), t.end()));
            dialog.onCommand(kApply);
            break;
        }
        case 3: {
            const std::vector<uint8_t> raw = take(n);
            dialog.onFrame(raw.data(), raw.size());
            break;
        }
        case 4: {
            const std::vector<uint8_t> payload = take(n % 40);
            uint8_t frame[configHeaderSize + 40];
            const uint8_t command = uint8_t(op >> 3);
            const size_t total = buildConfigFrame(frame, sizeof frame, uint8_t(n), command,
                                                  payload.data(), payload.size());
            dialog.onFrame(frame, total);
            break;
        }
        case 5: {
            const std::vector<uint8_t> bytes = take(n);
            cutter.append(bytes.data(), bytes.size());
            while (cutter.cut(sink) == CutResult::frame) {
            }
            break;
        }
        }
        check(dialog.replyCountdown() >= 0 && dialog.replyCountdown() <= rssiReplyTicks);
        check(dialog.portOpen() == port.isOpen());
        check(dialog.portOpen() == view.timerRunning());
    }
    return 0;
}
