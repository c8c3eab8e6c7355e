#include "setup/networkPage.h"

#include <iterator>
#include <string>
#include <vector>

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
// The WIFI and dual-network pages show their one antenna code.
const BaudListField kOneAntennaList[] = {
    {IDC_ANTENNA_BAUD, &WiredParams::antenna0Baud},
};

const char kMacPlain[] = "";
const char kMacIndented[] = "  ";

// The WIFI page of the oldest build shows both antenna codes.
const BaudListField kTwoAntennaLists[] = {
    {IDC_ANTENNA_BAUD, &WiredParams::antenna0Baud},
    {IDC_ANTENNA1_BAUD, &WiredParams::antenna1Baud},
};

using S = ApplyStep;
constexpr size_t kWiredSteps = 4;
constexpr size_t kWifiSteps = 5;
#define WIRED_ORDER {S::identity, S::addresses, S::baudRates, S::deviceId}, kWiredSteps
#define WIFI_ORDER {S::identity, S::addresses, S::baudRates, S::wifi, S::deviceId}, kWifiSteps
#define ACTIVE_ORDER {S::identity, S::addresses}, 2

}  // namespace

const NetworkPageTraits networkPagesV36[6] = {
    {modelWired, IDD_PAGE_WIRED, ParamLayout::wired, kModel1Lists, 3, false, kMacPlain, true, true,
     WIRED_ORDER},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, ParamLayout::wired, kModel2Lists, 1, false,
     kMacPlain, true, true, WIRED_ORDER},
    {modelCompactWired, IDD_PAGE_COMPACT, ParamLayout::compactWired, nullptr, 0, false,
     kMacIndented, true, true, {S::identity, S::deviceId, S::addresses}, 3},
    {modelWiredActive, IDD_PAGE_ACTIVE, ParamLayout::wired, nullptr, 0, false, nullptr, false,
     false, ACTIVE_ORDER},
    {modelWifi, IDD_PAGE_WIFI, ParamLayout::wifi, kOneAntennaList, 1, true, kMacPlain, true, true,
     WIFI_ORDER},
    {modelDualNetwork, IDD_PAGE_DUAL, ParamLayout::dualNetwork, kOneAntennaList, 1, true,
     kMacPlain, true, true, {S::network, S::baudRates, S::identityByName, S::deviceId}, 4},
};

// No MAC control; the WIFI page lets the antenna baud rate be changed.
const NetworkPageTraits networkPagesV33[4] = {
    {modelWired, IDD_PAGE_WIRED, ParamLayout::wired, kModel1Lists, 3, false, nullptr, true, true,
     WIRED_ORDER},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, ParamLayout::wired, kModel2Lists, 1, false,
     nullptr, true, true, WIRED_ORDER},
    {modelWiredActive, IDD_PAGE_ACTIVE, ParamLayout::wired, nullptr, 0, false, nullptr, false,
     false, ACTIVE_ORDER},
    {modelWifi, IDD_PAGE_WIFI, ParamLayout::wifi, kOneAntennaList, 1, false, nullptr, true, true,
     WIFI_ORDER},
};

// No MAC control; the wired pages have no DHCP box (their addresses are
// always shown, checked and written); the merge box on models 1 and 3.
const NetworkPageTraits networkPagesV30[3] = {
    {modelWired, IDD_PAGE_WIRED, ParamLayout::wired, kModel1Lists, 3, false, nullptr, false, true,
     WIRED_ORDER, true},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, ParamLayout::wired, kModel2Lists, 1, false,
     nullptr, false, true, WIRED_ORDER},
    {modelWifi, IDD_PAGE_WIFI, ParamLayout::wifi, kTwoAntennaLists, 2, false, nullptr, true, true,
     WIFI_ORDER, true, true},
};

#undef WIRED_ORDER
#undef WIFI_ORDER
#undef ACTIVE_ORDER

namespace {

const char* const kModeItems[] = {"等待平台连接（默认）", "主动连接平台"};

// The password and platform controls that follow the connect mode.
const int kActiveControls[] = {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP_LABEL,
                               IDC_PLATFORM_IP, IDC_PLATFORM_PORT_LABEL, IDC_PLATFORM_PORT};
const int kActiveInputs[] = {IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP, IDC_PLATFORM_PORT};
const int kAddresses[] = {IDC_IP, IDC_MASK, IDC_GATEWAY};
const int kWifiFields[] = {IDC_SSID, IDC_WIFI_PASSWORD};

}  // namespace

const NetworkPageTraits* networkPageTraits(int model)
{
    for (const NetworkPageTraits& t : networkPagesV36) {
        if (t.model == model)
            return &t;
    }
    return nullptr;
}

NetworkPage::NetworkPage(SetupShell& shell, SetupView& view, const TextCodec& codec,
                         const NetworkPageTraits& traits)
    : ParamPage(shell, view, codec, traits.dialog), traits_(traits), codec_(codec)
{
}

bool NetworkPage::hasWifiFields() const
{
    return traits_.layout == ParamLayout::wifi || traits_.layout == ParamLayout::dualNetwork;
}

NetworkPage::Record NetworkPage::record() const
{
    const ParamRecordStore& store = shell_.modelReady().record;
    Record rec;
    switch (traits_.layout) {
    case ParamLayout::wired:
    case ParamLayout::domain:  // no page of this kind has it
        rec.wired = decodeWired(store);
        break;
    case ParamLayout::compactWired: {
        const CompactWiredParams c = decodeCompactWired(store);
        rec.wired.connect = c.connect;
        rec.wired.net = c.net;
        rec.wired.mac = c.mac;
        rec.reserved = c.reserved;
        break;
    }
    case ParamLayout::wifi: {
        const WifiParams w = decodeWifi(store);
        rec.wired.connect = w.connect;
        rec.wired.net = w.net;
        rec.wired.mac = w.mac;
        rec.wired.antenna0Baud = w.antennaBaud;
        rec.wired.antenna1Baud = w.antenna1Baud;
        rec.wired.antennaMerge = w.antennaMerge;
        rec.ssid = w.ssid;
        rec.wifiPassword = w.wifiPassword;
        break;
    }
    case ParamLayout::dualNetwork: {
        const DualNetworkParams d = decodeDualNetwork(store);
        const bool wifi = d.network == networkWifi;
        rec.wired.connect = d.connect;
        rec.wired.net = wifi ? d.wifi : d.wired;
        rec.wired.mac = wifi ? d.wifiMac : d.wiredMac;
        rec.wired.antenna0Baud = d.antennaBaud;
        rec.reserved = d.reserved;
        rec.ssid = d.ssid;
        rec.wifiPassword = d.wifiPassword;
        rec.dual = d;
        break;
    }
    }
    return rec;
}

bool NetworkPage::activeShown() const
{
    // No selection counts as active, as in apply.
    return !traits_.hasModeList || view_.selection(IDC_CONNECT_MODE) != connectWait;
}

void NetworkPage::enableAddresses(bool enabled)
{
    for (int id : kAddresses)
        view_.enable(id, enabled);
}

void NetworkPage::showInterface(const IpSettings& net, const MacAddress& mac, bool macShown)
{
    if (traits_.macPrefix) {
        if (macShown) {
            char text[paramMacTextSize];
            formatMac(mac, text);
            view_.setText(IDC_MAC, std::string(traits_.macPrefix) + text);
        } else {
            view_.setText(IDC_MAC, "未识别");
        }
    }
    if (!traits_.hasDhcp) {
        fields_.showAddress(IDC_IP, net.ip);
        fields_.showAddress(IDC_MASK, net.mask);
        fields_.showAddress(IDC_GATEWAY, net.gateway);
        enableAddresses(true);
        return;
    }
    const bool dhcp = net.dhcp != 0;
    fields_.showAddress(IDC_IP, net.ip);
    if (dhcp && hasWifiFields()) {
        // The WIFI pages show only the address DHCP gave; the other two are
        // cleared so that no value of another interface stays in view.
        fields_.clearAddress(IDC_MASK);
        fields_.clearAddress(IDC_GATEWAY);
    } else {
        fields_.showAddress(IDC_MASK, net.mask);
        fields_.showAddress(IDC_GATEWAY, net.gateway);
    }
    view_.setChecked(IDC_DHCP, dhcp);
    enableAddresses(!dhcp);
    view_.enable(IDC_DHCP, true);
}

void NetworkPage::showNetwork(const Record& rec, bool wifi)
{
    const DualNetworkParams& d = rec.dual;
    for (int id : kWifiFields)
        view_.enable(id, wifi);
    if (wifi) {
        fields_.showGbk(IDC_SSID, d.ssid.view());
        fields_.showGbk(IDC_WIFI_PASSWORD, d.wifiPassword.view());
    } else {
        view_.setText(IDC_SSID, std::string());
        view_.setText(IDC_WIFI_PASSWORD, std::string());
    }
    view_.setChecked(IDC_WIFI, wifi);
    view_.setChecked(IDC_WIRED, !wifi);
    showInterface(wifi ? d.wifi : d.wired, wifi ? d.wifiMac : d.wiredMac, true);
}

void NetworkPage::showConnect(const Record& rec, bool active, bool levelTest)
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

void NetworkPage::onInit()
{
    initPortSteps();

    const Record rec = record();
    if (hasNetworkChoice()) {
        showNetwork(rec, rec.dual.network == networkWifi);
    } else {
        const ParamModelInfo* info = paramModelInfo(uint8_t(traits_.model));
        showInterface(rec.wired.net, rec.wired.mac,
                      !info || shell_.modelReady().level >= info->macLevel);
        if (hasWifiFields()) {
            // The record's bytes as they are: an SSID the reader holds in
            // UTF-8 shows as the code page reads those bytes.
            fields_.showGbk(IDC_SSID, rec.ssid.view());
            fields_.showGbk(IDC_WIFI_PASSWORD, rec.wifiPassword.view());
            for (int id : kWifiFields)
                view_.enable(id, true);
        }
    }

    for (size_t i = 0; i < traits_.baudListCount; ++i) {
        const BaudListField& list = traits_.baudLists[i];
        showBaudList(list.control, rec.wired.*list.code);
        view_.enable(list.control, !traits_.baudListsLocked);
    }
    antennaMerge_ = rec.wired.antennaMerge;
    if (traits_.hasMergeBox) {
        view_.setChecked(IDC_ANTENNA_MERGE, rec.wired.antennaMerge != 0);
        view_.enable(IDC_ANTENNA_MERGE, true);
        view_.enable(IDC_MERGE_NOTE, true);
    }

    if (traits_.hasModeList) {
        if (!listsFilled_) {
            for (const std::string& item :
                 shell_.listOrder(std::vector<std::string>(std::begin(kModeItems), std::end(kModeItems))))
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

void NetworkPage::onCommand(int id)
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
    case IDC_WIRED:
    case IDC_WIFI:
        // A click that leaves its button checked: the record's values of
        // that network replace what was typed.
        if (hasNetworkChoice() && view_.checked(id))
            showNetwork(record(), id == IDC_WIFI);
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

void NetworkPage::closePort()
{
    closePortSteps();
    enableAddresses(false);
    if (traits_.hasDhcp)
        view_.enable(IDC_DHCP, false);
    if (hasWifiFields()) {
        for (int control : kWifiFields)
            view_.enable(control, false);  // the radio buttons stay enabled
    }
    for (size_t i = 0; i < traits_.baudListCount; ++i)
        view_.enable(traits_.baudLists[i].control, false);
    if (traits_.hasMergeBox) {
        view_.enable(IDC_ANTENNA_MERGE, false);
        view_.enable(IDC_MERGE_NOTE, false);
    }
    if (traits_.hasModeList)
        view_.enable(IDC_CONNECT_MODE, false);
    view_.enable(IDC_NAME, false);
    if (activeShown()) {
        for (int control : kActiveInputs)
            view_.enable(control, false);
    }
    view_.enable(IDC_APPLY, false);
}

void NetworkPage::reread()
{
    if (!beginReread())
        return;
    for (int control : kAddresses)
        fields_.clearAddress(control);
    if (hasWifiFields()) {
        for (int control : kWifiFields)
            view_.setText(control, std::string());
    }
    for (size_t i = 0; i < traits_.baudListCount; ++i)
        view_.setSelection(traits_.baudLists[i].control, -1);
    if (traits_.hasModeList)
        view_.setSelection(IDC_CONNECT_MODE, -1);
    antennaMerge_ = 0;
    if (traits_.hasMergeBox)
        view_.setChecked(IDC_ANTENNA_MERGE, false);
    view_.show(IDC_NAME_LABEL, false);
    view_.show(IDC_NAME, false);
    for (int control : kActiveControls)
        view_.show(control, false);
    requestSteps();
}

void NetworkPage::dhcpClicked()
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

bool NetworkPage::readAddresses(IpSettings& net)
{
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

bool NetworkPage::readSsid(bool required, FixedText<paramTextSize>& ssid)
{
    const std::string text = fields_.gbk(IDC_SSID, pageSsidReadLimit);
    if (required && text.empty()) {
        view_.message("WIFI名称不能为空", MessageStyle::information);
        return false;
    }
    bool fits = text.size() <= paramTextSize;
    if (fits && ssidNeedsUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        // The reader takes such an SSID in UTF-8, ended by a zero inside the
        // field: the bytes behind the field are the WIFI password's, so a
        // longer UTF-8 form is refused rather than cut or run over.
        const std::string utf8 = codec_.gbkToUtf8(text);
        fits = utf8.size() < paramTextSize;
        if (fits)
            ssid.assign(utf8);
    } else if (fits) {
        ssid.assign(text);
    }
    if (!fits)
        view_.message("WIFI名称过长", MessageStyle::information);
    return fits;
}

bool NetworkPage::applyStep(ApplyStep step, bool active, Record& out)
{
    ConnectSettings& c = out.wired.connect;
    std::string text;
    switch (step) {
    case ApplyStep::identity:
    case ApplyStep::identityByName: {
        if (!active)
            return true;  // the encoder writes "admin" and "314159"
        const auto platform = [&] {
            if (!fields_.address(IDC_PLATFORM_IP, &c.platformIp)) {
                view_.message("平台IP格式不对", MessageStyle::information);
                return false;
            }
            if (!required(IDC_PLATFORM_PORT, pageTextLimit, "平台端口不能为空", text))
                return false;
            c.platformPort = uint16_t(uint32_t(parseSigned(text.c_str())));
            return true;
        };
        const auto identity = [&] {
            if (!required(IDC_NAME, pageTextLimit, "设备名称不能为空", text))
                return false;
            c.name.assign(text);
            if (!required(IDC_PASSWORD, pageTextLimit, "设备密码不能为空", text))
                return false;
            c.password.assign(text);
            return true;
        };
        return step == ApplyStep::identity ? platform() && identity() : identity() && platform();
    }
    case ApplyStep::addresses:
        return readAddresses(out.wired.net);
    case ApplyStep::baudRates:
        for (size_t i = 0; i < traits_.baudListCount; ++i)
            out.wired.*traits_.baudLists[i].code = baudCode(traits_.baudLists[i].control);
        out.wired.antennaMerge =
            traits_.hasMergeBox ? uint8_t(view_.checked(IDC_ANTENNA_MERGE) ? 1 : 0) : antennaMerge_;
        return true;
    case ApplyStep::wifi:
        if (traits_.legacyWifi) {
            if (!required(IDC_SSID, pageLongTextLimit, "WIFI名称不能为空", text))
                return false;
            out.ssid.assign(text);  // the code page's bytes as they are
            if (!required(IDC_WIFI_PASSWORD, pageLongTextLimit, "WIFI密码不能为空", text))
                return false;
            out.wifiPassword.assign(text);
            return true;
        }
        if (!readSsid(true, out.ssid))
            return false;
        out.wifiPassword.assign(fields_.gbk(IDC_WIFI_PASSWORD, pageLongTextLimit));
        return true;
    case ApplyStep::network: {
        const bool wifi = view_.checked(IDC_WIFI);
        out.dual.network = wifi ? networkWifi : networkWired;
        if (wifi) {
            if (!readSsid(false, out.ssid))
                return false;
            out.wifiPassword.assign(fields_.gbk(IDC_WIFI_PASSWORD, pageLongTextLimit));
        }
        return readAddresses(out.wired.net);
    }
    case ApplyStep::deviceId:
        if (active)
            return true;
        if (!required(IDC_NAME, pageLongTextLimit, "设备ID不能为空", text))
            return false;
        c.deviceId = parseSigned(text.c_str());
        return true;
    }
    return true;
}

WritePayload NetworkPage::encode(const Record& out) const
{
    switch (traits_.layout) {
    case ParamLayout::compactWired: {
        CompactWiredParams p;
        p.connect = out.wired.connect;
        p.net = out.wired.net;
        p.reserved = record().reserved;  // echoed from the record
        return encodeCompactWiredWrite(p);
    }
    case ParamLayout::wifi: {
        WifiParams p;
        p.connect = out.wired.connect;
        p.net = out.wired.net;
        p.antennaBaud = out.wired.antenna0Baud;
        p.antenna1Baud = out.wired.antenna1Baud;
        p.antennaMerge = out.wired.antennaMerge;
        p.ssid = out.ssid;
        p.wifiPassword = out.wifiPassword;
        return encodeWifiWrite(p, traits_.legacyWifi);
    }
    case ParamLayout::dualNetwork: {
        DualNetworkParams p;
        p.network = out.dual.network;
        p.ssid = out.ssid;
        p.wifiPassword = out.wifiPassword;
        (p.network == networkWifi ? p.wifi : p.wired) = out.wired.net;
        p.connect = out.wired.connect;
        p.antennaBaud = out.wired.antenna0Baud;
        p.reserved = record().reserved;  // echoed from the record
        return encodeDualNetworkWrite(p);
    }
    case ParamLayout::wired:
    case ParamLayout::domain:
        break;
    }
    return encodeWiredWrite(uint8_t(traits_.model), out.wired);
}

void NetworkPage::apply()
{
    const bool active = activeShown();
    Record out;
    out.wired.connect.mode = active ? connectActive : connectWait;
    for (size_t i = 0; i < traits_.steps; ++i) {
        if (!applyStep(traits_.order[i], active, out))
            return;  // nothing sent; the page keeps what was typed
    }
    const WritePayload payload = encode(out);
    sendWriteRequest(shell_.port(), payload.data(), payload.length);
    shell_.armReply(SetupShell::Awaited::writeAck);
}
