#include "setup/wiredPage.h"

#include "common/decimal.h"
#include "serial/configFrame.h"
#include "setup/resource.h"

namespace {

const BaudListField kModel1Lists[] = {
    {IDC_RS485_BAUD, &WiredParams::rs485Baud},
    {IDC_ANTENNA_BAUD, &WiredParams::antenna0Baud},
    {IDC_ANTENNA1_BAUD, &WiredParams::antenna1Baud},
};
// The one-antenna page shows and writes the antenna 1 code.
const BaudListField kModel2Lists[] = {
    {IDC_ANTENNA_BAUD, &WiredParams::antenna1Baud},
};

const char kMacPlain[] = "";
const char kMacIndented[] = "  ";

const WiredPageTraits kPages[] = {
    {modelWired, IDD_PAGE_WIRED, false, kModel1Lists, 3, kMacPlain, true, true,
     {ApplyStep::identity, ApplyStep::addresses, ApplyStep::baudRates, ApplyStep::deviceId}, 4},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, false, kModel2Lists, 1, kMacPlain, true, true,
     {ApplyStep::identity, ApplyStep::addresses, ApplyStep::baudRates, ApplyStep::deviceId}, 4},
    {modelCompactWired, IDD_PAGE_COMPACT, true, nullptr, 0, kMacIndented, true, true,
     {ApplyStep::identity, ApplyStep::deviceId, ApplyStep::addresses}, 3},
    {modelWiredActive, IDD_PAGE_ACTIVE, false, nullptr, 0, nullptr, false, false,
     {ApplyStep::identity, ApplyStep::addresses}, 2},
};

const char* const kBaudItems[baudCodeCount] = {"9600", "19200", "38400", "57600",
                                               "115200（默认）"};
const char* const kModeItems[] = {"等待平台连接（默认）", "主动连接平台"};

// The password and platform controls that follow the connect mode.
const int kActiveControls[] = {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP_LABEL,
                               IDC_PLATFORM_IP, IDC_PLATFORM_PORT_LABEL, IDC_PLATFORM_PORT};
const int kActiveInputs[] = {IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP, IDC_PLATFORM_PORT};
const int kAddresses[] = {IDC_IP, IDC_MASK, IDC_GATEWAY};

// Byte limits of the page inputs (the dialogs read them into 30- and
// 32-byte buffers).
constexpr size_t kTextLimit = 29;
constexpr size_t kDeviceIdLimit = 31;

const char kOpenFailed[] = "打开串口失败";

}  // namespace

const WiredPageTraits* wiredPageTraits(int model)
{
    for (const WiredPageTraits& t : kPages) {
        if (t.model == model)
            return &t;
    }
    return nullptr;
}

WiredPage::WiredPage(SetupShell& shell, SetupView& view, const TextCodec& codec,
                     const WiredPageTraits& traits)
    : SetupDialog(shell, view, traits.dialog), fields_(view, codec), traits_(traits)
{
}

int WiredPage::eyeBitmap() const { return passwordMasked_ ? IDB_EYE_CLOSED : IDB_EYE_OPEN; }

WiredPage::Record WiredPage::record() const
{
    const ParamRecordStore& store = shell_.modelReady().record;
    Record rec;
    if (traits_.compactRecord) {
        const CompactWiredParams c = decodeCompactWired(store);
        rec.wired.connect = c.connect;
        rec.wired.net = c.net;
        rec.wired.mac = c.mac;
        rec.reserved = c.reserved;
    } else {
        rec.wired = decodeWired(store);
    }
    return rec;
}

bool WiredPage::activeShown() const
{
    // No selection counts as active, as in apply.
    return !traits_.hasModeList || view_.selection(IDC_CONNECT_MODE) != connectWait;
}

void WiredPage::setMasked(bool masked)
{
    passwordMasked_ = masked;
    view_.setPasswordMasked(IDC_PASSWORD, masked);
    view_.setButtonBitmap(IDC_EYE, eyeBitmap());
}

void WiredPage::showAddresses(const IpSettings& net)
{
    fields_.showAddress(IDC_IP, net.ip);
    fields_.showAddress(IDC_MASK, net.mask);
    fields_.showAddress(IDC_GATEWAY, net.gateway);
}

void WiredPage::enableAddresses(bool enabled)
{
    for (int id : kAddresses)
        view_.enable(id, enabled);
}

void WiredPage::showConnect(const Record& rec, bool active, bool levelTest)
{
    const ConnectSettings& c = rec.wired.connect;
    if (active) {
        view_.setText(IDC_NAME_LABEL, "设备名称：");
        fields_.showGbk(IDC_NAME, c.name.view());
        setMasked(true);
        fields_.showGbk(IDC_PASSWORD, c.password.view());
        fields_.showAddress(IDC_PLATFORM_IP, c.platformIp);
        view_.setText(IDC_PLATFORM_PORT, decimalText(c.platformPort));
    } else {
        view_.setText(IDC_NAME_LABEL, "设备ID：");
        const ParamModelInfo* info = paramModelInfo(uint8_t(traits_.model));
        const int needed = levelTest && info ? info->deviceIdLevel : 0;
        const bool shown = shell_.modelReady().level >= needed;
        view_.setText(IDC_NAME, shown ? decimalText(c.deviceId) : "0");
    }
    for (int id : kActiveControls)
        view_.show(id, active);
}

void WiredPage::onInit()
{
    shell_.setCurrentPage(this);
    probePorts(!listsFilled_);
    view_.setButtonBitmap(IDC_EYE, eyeBitmap());

    // The reply handler closed the port: open the one the reply came through.
    const ModelReadyBlock& block = shell_.modelReady();
    view_.setSelection(IDC_PORT_LIST, block.portIndex);
    openSelectedPort();  // a failure shows later as silence
    portOpen_ = true;
    view_.startTimer(IDT_REPLY, setupTimerMs);
    view_.enable(IDC_PORT_LIST, false);
    fields_.showGbk(IDC_VERSION, block.record.version().view());
    view_.setText(IDC_PORT_BUTTON, "关闭串口");

    const Record rec = record();
    if (traits_.macPrefix) {
        const ParamModelInfo* info = paramModelInfo(uint8_t(traits_.model));
        if (!info || block.level >= info->macLevel) {
            char mac[paramMacTextSize];
            formatMac(rec.wired.mac, mac);
            view_.setText(IDC_MAC, std::string(traits_.macPrefix) + mac);
        } else {
            view_.setText(IDC_MAC, "未识别");
        }
    }

    showAddresses(rec.wired.net);
    if (traits_.hasDhcp) {
        const bool dhcp = rec.wired.net.dhcp != 0;
        view_.setChecked(IDC_DHCP, dhcp);
        enableAddresses(!dhcp);
        view_.enable(IDC_DHCP, true);
    } else {
        enableAddresses(true);
    }

    for (size_t i = 0; i < traits_.baudListCount; ++i) {
        const BaudListField& list = traits_.baudLists[i];
        if (!listsFilled_) {
            for (const char* item : kBaudItems)
                view_.addItem(list.control, item);
        }
        view_.setSelection(list.control, rec.wired.*list.code);
        view_.enable(list.control, true);
    }
    antennaMerge_ = rec.wired.antennaMerge;

    if (traits_.hasModeList) {
        if (!listsFilled_) {
            for (const char* item : kModeItems)
                view_.addItem(IDC_CONNECT_MODE, item);
        }
        view_.setSelection(IDC_CONNECT_MODE, rec.wired.connect.mode);
        view_.enable(IDC_CONNECT_MODE, true);
    }
    listsFilled_ = true;
    view_.show(IDC_NAME_LABEL, true);
    view_.show(IDC_NAME, true);
    view_.enable(IDC_NAME, true);

    const bool active = !traits_.hasModeList || rec.wired.connect.mode != connectWait;
    showConnect(rec, active, true);

    for (int id : kActiveInputs)
        view_.enable(id, true);
    view_.enable(IDC_APPLY, true);
}

void WiredPage::onCommand(int id)
{
    switch (id) {
    case IDC_PORT_BUTTON:
        portOpen_ ? closePort() : reread();
        break;
    case IDC_CONNECT_MODE:
        // Every notification of the list, whatever its code: the record's
        // values replace what was typed.
        if (traits_.hasModeList)
            showConnect(record(), activeShown(), false);
        break;
    case IDC_DHCP:
        if (traits_.hasDhcp)
            dhcpClicked();
        break;
    case IDC_EYE:
        eyeClicked();
        break;
    case IDC_APPLY:
        apply();
        break;
    default:
        break;
    }
}

void WiredPage::closePort()
{
    shell_.port().closeComPort();
    portOpen_ = false;
    view_.killTimer(IDT_REPLY);
    view_.setText(IDC_PORT_BUTTON, "打开串口");
    view_.enable(IDC_PORT_LIST, true);
    enableAddresses(false);
    if (traits_.hasDhcp)
        view_.enable(IDC_DHCP, false);
    for (size_t i = 0; i < traits_.baudListCount; ++i)
        view_.enable(traits_.baudLists[i].control, false);
    if (traits_.hasModeList)
        view_.enable(IDC_CONNECT_MODE, false);
    view_.enable(IDC_NAME, false);
    if (activeShown()) {
        for (int control : kActiveInputs)
            view_.enable(control, false);
    }
    view_.enable(IDC_APPLY, false);
}

void WiredPage::reread()
{
    if (!openSelectedPort()) {
        view_.message(kOpenFailed, MessageStyle::information);
        return;
    }
    view_.setText(IDC_VERSION, std::string());
    for (int control : kAddresses)
        fields_.clearAddress(control);
    for (size_t i = 0; i < traits_.baudListCount; ++i)
        view_.setSelection(traits_.baudLists[i].control, -1);
    if (traits_.hasModeList)
        view_.setSelection(IDC_CONNECT_MODE, -1);
    antennaMerge_ = 0;
    view_.show(IDC_NAME_LABEL, false);
    view_.show(IDC_NAME, false);
    for (int control : kActiveControls)
        view_.show(control, false);
    portOpen_ = true;
    shell_.armReply();
    sendReadRequest(shell_.port());
    view_.startTimer(IDT_REPLY, setupTimerMs);
    view_.setText(IDC_PORT_BUTTON, "关闭串口");
    view_.enable(IDC_PORT_LIST, false);
}

void WiredPage::dhcpClicked()
{
    if (view_.checked(IDC_DHCP)) {
        for (int control : kAddresses) {
            view_.enable(control, false);
            fields_.clearAddress(control);
        }
    } else {
        enableAddresses(true);  // empty until the user types
    }
}

void WiredPage::eyeClicked()
{
    setMasked(!passwordMasked_);
    // Setting the text again redraws it with the new password character.
    fields_.showGbk(IDC_PASSWORD, fields_.gbk(IDC_PASSWORD, kTextLimit));
}

bool WiredPage::applyStep(ApplyStep step, bool active, Record& out)
{
    ConnectSettings& c = out.wired.connect;
    switch (step) {
    case ApplyStep::identity: {
        if (!active)
            return true;  // the encoder writes "admin" and "314159"
        if (!fields_.address(IDC_PLATFORM_IP, &c.platformIp)) {
            view_.message("平台IP格式不对", MessageStyle::information);
            return false;
        }
        const std::string port = fields_.gbk(IDC_PLATFORM_PORT, kTextLimit);
        if (port.empty()) {
            view_.message("平台端口不能为空", MessageStyle::information);
            return false;
        }
        c.platformPort = uint16_t(uint32_t(parseSigned(port.c_str())));
        const std::string name = fields_.gbk(IDC_NAME, kTextLimit);
        if (name.empty()) {
            view_.message("设备名称不能为空", MessageStyle::information);
            return false;
        }
        c.name.assign(name);
        const std::string password = fields_.gbk(IDC_PASSWORD, kTextLimit);
        if (password.empty()) {
            view_.message("设备密码不能为空", MessageStyle::information);
            return false;
        }
        c.password.assign(password);
        return true;
    }
    case ApplyStep::addresses: {
        IpSettings& net = out.wired.net;
        if (traits_.hasDhcp && view_.checked(IDC_DHCP)) {
            net.dhcp = 1;
            return true;
        }
        net.dhcp = 0;
        uint32_t* const targets[] = {&net.ip, &net.mask, &net.gateway};
        for (size_t i = 0; i < 3; ++i) {
            if (!fields_.address(kAddresses[i], targets[i])) {
                view_.message("IP格式不对", MessageStyle::information);
                return false;
            }
        }
        return true;
    }
    case ApplyStep::baudRates:
        for (size_t i = 0; i < traits_.baudListCount; ++i) {
            const BaudListField& list = traits_.baudLists[i];
            const int selected = view_.selection(list.control);
            out.wired.*list.code = selected < 0 ? baudCodeNone : uint8_t(selected);
        }
        out.wired.antennaMerge = antennaMerge_;
        return true;
    case ApplyStep::deviceId: {
        if (active)
            return true;
        const std::string id = fields_.gbk(IDC_NAME, kDeviceIdLimit);
        if (id.empty()) {
            view_.message("设备ID不能为空", MessageStyle::information);
            return false;
        }
        c.deviceId = parseSigned(id.c_str());
        return true;
    }
    }
    return true;
}

void WiredPage::apply()
{
    const bool active = activeShown();
    Record out;
    out.wired.connect.mode = active ? connectActive : connectWait;
    for (size_t i = 0; i < traits_.steps; ++i) {
        if (!applyStep(traits_.order[i], active, out))
            return;  // nothing sent; the page keeps what was typed
    }
    WritePayload payload;
    if (traits_.compactRecord) {
        CompactWiredParams p;
        p.connect = out.wired.connect;
        p.net = out.wired.net;
        p.reserved = record().reserved;  // echoed from the record
        payload = encodeCompactWiredWrite(p);
    } else {
        payload = encodeWiredWrite(uint8_t(traits_.model), out.wired);
    }
    sendWriteRequest(shell_.port(), payload.data(), payload.length);
    shell_.armReply();
}
