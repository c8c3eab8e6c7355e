#include "console/listen/listenLink.h"

#include <cstring>

#include "common/decimal.h"
#include "common/textCodec.h"
#include "console/panelIds.h"

namespace {
const int kModeInputs[] = {IDC_PORT, IDC_DEVICE_NAME, IDC_DEVICE_PASSWORD};
constexpr size_t kSmsTextMax = 110;
}  // namespace

const int* ListenLink::modeInputs(int* count) const
{
    *count = int(sizeof kModeInputs / sizeof kModeInputs[0]);
    return kModeInputs;
}

void ListenLink::initInputs(PanelView& view)
{
    view.setText(IDC_PORT, "8800");
    view.setText(IDC_DEVICE_NAME, "dev001");
    view.setText(IDC_DEVICE_PASSWORD, "314159");
}

bool ListenLink::open(PanelView& view)
{
    const std::string port = gbkTruncate(codec_.utf8ToGbk(view.text(IDC_PORT)), 19);
    if (port.empty()) {
        view.message("云端端口不能为空", MessageStyle::notice);
        return false;
    }
    const int32_t number = parseSigned(port.c_str());
    if (number < 0) {
        view.message("云端端口格式不对", MessageStyle::notice);
        return false;
    }
    const std::string name = gbkTruncate(codec_.utf8ToGbk(view.text(IDC_DEVICE_NAME)), 31);
    if (name.empty()) {
        view.message("设备名称不能为空", MessageStyle::notice);
        return false;
    }
    const std::string password =
        gbkTruncate(codec_.utf8ToGbk(view.text(IDC_DEVICE_PASSWORD)), 31);
    if (password.empty()) {
        view.message("设备密码不能为空", MessageStyle::notice);
        return false;
    }
    // The port is the number's low 16 bits, so 70000 listens on 4464.
    switch (server_.netServerOpen(uint16_t(number), name.c_str(), password.c_str())) {
    case netOpenOk:
        return true;
    case netOpenInUse:
        view.message("侦听端口已被其他程序占用，请换一个端口", MessageStyle::notice);
        return false;
    default:
        view.message("无法在该端口上侦听，请检查网络设置", MessageStyle::notice);
        return false;
    }
}

size_t listenCallPayload(const CallFrame& call, uint8_t out[7])
{
    out[0] = uint8_t(call.substation);
    netPut32(out + 1, call.tagId);
    out[5] = call.action;
    out[6] = call.mode;
    return 7;
}

size_t listenSmsPayload(const SmsFrame& sms, uint8_t* out, size_t capacity)
{
    size_t n = sms.gbkText.size();
    if (n > kSmsTextMax)
        n = kSmsTextMax;
    if (capacity < 14 + n)
        return 0;
    out[0] = uint8_t(sms.substation);
    netPut32(out + 1, sms.tagId);
    netPut16(out + 5, uint16_t(sms.number));
    out[7] = uint8_t(sms.time.year - 2020);
    out[8] = uint8_t(sms.time.month);
    out[9] = uint8_t(sms.time.day);
    out[10] = uint8_t(sms.time.hour);
    out[11] = uint8_t(sms.time.minute);
    out[12] = uint8_t(sms.time.second);
    out[13] = uint8_t(n);
    if (n > 0)
        std::memcpy(out + 14, sms.gbkText.data(), n);
    return 14 + n;
}

void ListenLink::sendCall(const CallFrame& call)
{
    uint8_t payload[7];
    listenCallPayload(call, payload);
    server_.core().sendToReader(netCodeLabelAlarm, payload, sizeof payload);
}

void ListenLink::sendSms(const SmsFrame& sms)
{
    uint8_t payload[14 + kSmsTextMax];
    const size_t n = listenSmsPayload(sms, payload, sizeof payload);
    if (n > 0)
        server_.core().sendToReader(netCodeSms, payload, n, "net send %d:, len");
}
