#include "rssifilter/rssiFilter.h"

#include "rssifilter/resource.h"
#include "serial/paramRecords.h"

namespace {

const char kOpenFailedText[] = "打开串口失败";
const char kTimeoutText[] = "不能和设备正常通信，请检查设备是否上电";
const char kWriteDoneText[] = "配置成功";
const char kOpenText[] = "打开串口";
const char kCloseText[] = "关闭串口";

// The message of each refused input.
struct InputMessage {
    RssiInput input;
    const char* text;
};

const InputMessage kInputMessages[] = {
    {RssiInput::empty, "RSSI值不能为空"},
    {RssiInput::badFormat, "输入格式不对"},
    {RssiInput::outOfRange, "数值范围不对"},
};

// Beyond every valid magnitude: a longer run of digits stays out of range.
constexpr int kSaturation = 1000;

}  // namespace

const char* rssiInputMessage(RssiInput input)
{
    for (const InputMessage& m : kInputMessages) {
        if (m.input == input)
            return m.text;
    }
    return nullptr;
}

void sendRssiReadRequest(SerialWriter& writer)
{
    sendConfigFrame(writer, configCmdRssiRead, nullptr, 0);
}

void sendRssiWriteRequest(SerialWriter& writer, int8_t threshold)
{
    const uint8_t payload = uint8_t(threshold);
    sendConfigFrame(writer, configCmdRssiWrite, &payload, 1);
}

RssiInput checkRssiInput(const std::string& text, int8_t* value)
{
    if (text.empty())
        return RssiInput::empty;
    const bool negative = text[0] == '-';
    const size_t first = negative ? 1 : 0;
    // A lone '-' has no digits and reads as 0, as every decimal input of
    // the suite does.
    int magnitude = 0;
    for (size_t i = first; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return RssiInput::badFormat;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kSaturation)
            magnitude = kSaturation;
    }
    const int v = negative ? -magnitude : magnitude;
    if (v < rssiThresholdMin || v > rssiThresholdMax)
        return RssiInput::outOfRange;
    if (value)
        *value = int8_t(v);
    return RssiInput::ok;
}

RssiDispatch rssiDispatchFrame(const uint8_t* frame, size_t total, RssiReplyHandler& handler)
{
    ConfigFrame f;
    if (configFrameCheck(frame, total, &f) != ConfigCheck::ok)
        return RssiDispatch::rejected;
    switch (f.command) {
    case configCmdParamReply:
        handler.onParameterReply(f.payload, f.length);
        return RssiDispatch::parameterReply;
    case configCmdRssiReply:
        // The threshold is byte 0; a reply without it carries no value.
        if (f.length == 0)
            return RssiDispatch::ignored;
        handler.onThresholdReply(int8_t(f.payload[0]));
        return RssiDispatch::thresholdReply;
    case configCmdWriteAck:
    case configCmdRssiWriteAck:
        handler.onThresholdWritten();
        return RssiDispatch::writeAcknowledged;
    default:
        return RssiDispatch::ignored;
    }
}

RssiFilterDialog::RssiFilterDialog(ComPort& port, SetupView& view, const TextCodec& codec)
    : port_(port), view_(view), codec_(codec)
{
}

void RssiFilterDialog::onInit()
{
    portOpen_ = false;
    writePending_ = false;
    countdown_ = 0;
    int numbers[serialProbeCount];
    const size_t count = comPortNumbers(port_.probeComPorts(), numbers);
    view_.clearItems(IDC_PORT_LIST);
    for (size_t i = 0; i < count; ++i)
        view_.addItem(IDC_PORT_LIST, comPortItemText(numbers[i]));
    view_.setSelection(IDC_PORT_LIST, 0);
    view_.enable(IDC_THRESHOLD, false);
}

void RssiFilterDialog::onCommand(int id)
{
    switch (id) {
    case IDC_PORT_BUTTON:
        if (portOpen_)
            closePort();
        else
            openPort();
        break;
    case IDC_APPLY:
        apply();
        break;
    default:
        break;
    }
}

void RssiFilterDialog::openPort()
{
    if (!openComPortItem(port_, view_.text(IDC_PORT_LIST))) {
        view_.message(kOpenFailedText, MessageStyle::information);
        return;
    }
    view_.setText(IDC_VERSION, std::string());
    portOpen_ = true;
    writePending_ = false;
    countdown_ = rssiReplyTicks;
    sendReadRequest(port_);
    view_.startTimer(IDT_REPLY, rssiTimerMs);
    view_.setText(IDC_PORT_BUTTON, kCloseText);
    view_.enable(IDC_PORT_LIST, false);
}

void RssiFilterDialog::closePort()
{
    port_.closeComPort();
    portOpen_ = false;
    writePending_ = false;
    countdown_ = 0;
    view_.killTimer(IDT_REPLY);
    view_.setText(IDC_PORT_BUTTON, kOpenText);
    view_.enable(IDC_PORT_LIST, true);
    view_.enable(IDC_THRESHOLD, false);
    view_.enable(IDC_APPLY, false);
}

void RssiFilterDialog::apply()
{
    int8_t value = 0;
    const char* refusal = rssiInputMessage(checkRssiInput(view_.text(IDC_THRESHOLD), &value));
    if (refusal) {
        view_.message(refusal, MessageStyle::information);
        return;
    }
    sendRssiWriteRequest(port_, value);
    writePending_ = true;
    countdown_ = rssiReplyTicks;
}

void RssiFilterDialog::onTimer(int id)
{
    if (id != IDT_REPLY || countdown_ == 0)
        return;
    if (--countdown_ != 0)
        return;
    view_.message(kTimeoutText, MessageStyle::information);
    // The port button's click closes the port; the port may have been
    // closed while the message was open.
    if (portOpen_)
        onCommand(IDC_PORT_BUTTON);
}

void RssiFilterDialog::onParameterReply(const uint8_t* payload, size_t length)
{
    if (!portOpen_)
        return;
    const std::string_view version = paramVersionText(payload, length);
    view_.setText(IDC_VERSION, codec_.gbkToUtf8(std::string(version)));
    sendRssiReadRequest(port_);
}

void RssiFilterDialog::onThresholdReply(int8_t threshold)
{
    // While a write waits for its acknowledgement, a threshold is the late
    // answer of an earlier read: taken, it would stop the write's countdown
    // (a lost write would end in no message) and put the old value over the
    // one being written.
    if (!portOpen_ || writePending_)
        return;
    countdown_ = 0;
    view_.enable(IDC_THRESHOLD, true);
    view_.setText(IDC_THRESHOLD, std::to_string(int(threshold)));
    view_.enable(IDC_APPLY, true);
}

void RssiFilterDialog::onThresholdWritten()
{
    // Only the answer to a write of this tool reports success.
    if (!portOpen_ || !writePending_)
        return;
    writePending_ = false;
    countdown_ = 0;
    view_.notice(kWriteDoneText);
}
