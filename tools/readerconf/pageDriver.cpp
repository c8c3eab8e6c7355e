#include "tools/readerconf/pageDriver.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "common/decimal.h"
#include "common/dialogFields.h"
#include "serial/configFrame.h"
#include "setup/domainPage.h"
#include "setup/networkPage.h"
#include "setup/paramPage.h"
#include "setup/resource.h"

// ---- the in-memory view ------------------------------------------------------

std::string MemoryView::text(int id) const
{
    lastRead_ = id;
    auto list = items_.find(id);
    if (list != items_.end()) {
        const int sel = selection(id);
        return sel >= 0 ? list->second[size_t(sel)] : std::string();
    }
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void MemoryView::enable(int id, bool on)
{
    if (on)
        disabled_.erase(id);
    else
        disabled_.insert(id);
}

bool MemoryView::checked(int id) const
{
    auto it = checks_.find(id);
    return it != checks_.end() && it->second;
}

std::string MemoryView::address(int id) const
{
    lastRead_ = id;
    auto it = addresses_.find(id);
    return it == addresses_.end() ? std::string() : it->second;
}

void MemoryView::message(const std::string& utf8, MessageStyle)
{
    refusals_.push_back({utf8, lastRead_});
}

void MemoryView::show(int id, bool visible)
{
    if (visible)
        hidden_.erase(id);
    else
        hidden_.insert(id);
}

void MemoryView::clearItems(int id)
{
    items_[id].clear();
    selections_[id] = -1;
}

int MemoryView::selection(int id) const
{
    auto it = selections_.find(id);
    return it == selections_.end() ? -1 : it->second;
}

void MemoryView::setSelection(int id, int index)
{
    auto it = items_.find(id);
    const int count = it == items_.end() ? 0 : int(it->second.size());
    selections_[id] = index >= 0 && index < count ? index : -1;
}

// ---- fields ----------------------------------------------------------------------

namespace {

const char kWaitText[] = "wait";
const char kActiveText[] = "active";
const char kIdLabel[] = "设备ID：";
const int kBauds[] = {9600, 19200, 38400, 57600, 115200};

enum class Kind {
    mode,           // connect-mode list: "wait" / "active"
    network,        // model 7's radio buttons: "wired" / "wifi"
    dhcp,           // check box, the page reacts to its click
    domainEnabled,  // check box, the page reacts to its click
    name,           // IDC_NAME while it holds the device name
    deviceId,       // IDC_NAME while it holds the device ID
    text,           // an edit in the code page, with a byte limit (0: the page's own test)
    address,        // IP address control, "a.b.c.d"
    port,           // decimal edit, 0 to 65535
    baud,           // baud-rate list, in baud
    merge,          // the echoed antenna-merge byte (read-only)
};

struct Field {
    const char* key;
    Kind kind;
    int control;
    size_t limit;  // text: GBK bytes
};

// Choices first: they refill the fields that follow them, as on the page.
bool isChoice(Kind k)
{
    return k == Kind::mode || k == Kind::network || k == Kind::dhcp || k == Kind::domainEnabled;
}

const char* baudKey(uint8_t WiredParams::*code)
{
    if (code == &WiredParams::rs485Baud)
        return "rs485_baud";
    if (code == &WiredParams::antenna1Baud)
        return "antenna1_baud";
    return "antenna0_baud";
}

std::vector<Field> fieldsOf(int model)
{
    std::vector<Field> f;
    if (model == modelDomain) {
        f = {{"device_name", Kind::name, IDC_NAME, pageLongTextLimit},
             {"device_password", Kind::text, IDC_PASSWORD, pageLongTextLimit},
             {"domain_enabled", Kind::domainEnabled, IDC_DOMAIN_ENABLE, 0},
             {"domain", Kind::text, IDC_DOMAIN, pageDomainLimit},
             {"platform_ip", Kind::address, IDC_PLATFORM_IP, 0},
             {"platform_port", Kind::port, IDC_PLATFORM_PORT, 0},
             {"antenna0_baud", Kind::baud, IDC_ANTENNA_BAUD, 0}};
        return f;
    }
    const NetworkPageTraits* t = networkPageTraits(model);
    if (!t)
        return f;
    const bool wifi = t->layout == ParamLayout::wifi || t->layout == ParamLayout::dualNetwork;
    if (t->hasModeList)
        f.push_back({"connect_mode", Kind::mode, IDC_CONNECT_MODE, 0});
    if (t->layout == ParamLayout::dualNetwork)
        f.push_back({"network", Kind::network, IDC_WIFI, 0});
    f.push_back({"device_name", Kind::name, IDC_NAME, pageTextLimit});
    f.push_back({"device_password", Kind::text, IDC_PASSWORD, pageTextLimit});
    f.push_back({"platform_ip", Kind::address, IDC_PLATFORM_IP, 0});
    f.push_back({"platform_port", Kind::port, IDC_PLATFORM_PORT, 0});
    if (t->hasModeList)
        f.push_back({"device_id", Kind::deviceId, IDC_NAME, pageLongTextLimit});
    if (wifi) {
        f.push_back({"ssid", Kind::text, IDC_SSID, 0});  // the page tests its length
        f.push_back({"wifi_password", Kind::text, IDC_WIFI_PASSWORD, pageLongTextLimit});
    }
    if (t->hasDhcp)
        f.push_back({"dhcp", Kind::dhcp, IDC_DHCP, 0});
    f.push_back({"ip", Kind::address, IDC_IP, 0});
    f.push_back({"mask", Kind::address, IDC_MASK, 0});
    f.push_back({"gateway", Kind::address, IDC_GATEWAY, 0});
    for (size_t i = 0; i < t->baudListCount; ++i)
        f.push_back({baudKey(t->baudLists[i].code), Kind::baud, t->baudLists[i].control, 0});
    if (model == modelWired)
        f.push_back({"antenna_merge", Kind::merge, 0, 0});
    return f;
}

const char* kindWanted(Kind k)
{
    switch (k) {
    case Kind::mode:
        return "类型不对，应为\"wait\"或\"active\"";
    case Kind::network:
        return "类型不对，应为\"wired\"或\"wifi\"";
    case Kind::dhcp:
    case Kind::domainEnabled:
        return "类型不对，应为true或false";
    case Kind::name:
    case Kind::text:
    case Kind::address:
        return "类型不对，应为字符串";
    default:
        return "类型不对，应为整数";
    }
}

// The value's kind and range; "" when it fits. Texts are measured in the
// reader's code page.
std::string checkValue(const Field& f, const Json& v)
{
    switch (f.kind) {
    case Kind::mode:
        if (v.is_string() && (v == kWaitText || v == kActiveText))
            return {};
        return kindWanted(f.kind);
    case Kind::network:
        if (v.is_string() && (v == "wired" || v == "wifi"))
            return {};
        return kindWanted(f.kind);
    case Kind::dhcp:
    case Kind::domainEnabled:
        return v.is_boolean() ? std::string() : kindWanted(f.kind);
    case Kind::name:
    case Kind::text:
    case Kind::address:
        if (!v.is_string())
            return kindWanted(f.kind);
        if (f.limit > 0 && systemTextCodec().utf8ToGbk(v.get<std::string>()).size() > f.limit)
            return "过长，最多" + std::to_string(f.limit) + "字节";
        return {};
    case Kind::port:
        if (!v.is_number_integer())
            return kindWanted(f.kind);
        if (v.get<long long>() < 0 || v.get<long long>() > 65535)
            return "端口应在0到65535之间";
        return {};
    case Kind::deviceId:
        if (!v.is_number_integer())
            return kindWanted(f.kind);
        if (v.get<long long>() < INT32_MIN || v.get<long long>() > INT32_MAX)
            return "设备ID应在-2147483648到2147483647之间";
        return {};
    case Kind::baud:
        if (!v.is_number_integer())
            return kindWanted(f.kind);
        for (int b : kBauds) {
            if (v.get<long long>() == b)
                return {};
        }
        return "波特率应为9600、19200、38400、57600或115200";
    case Kind::merge:
        return v.is_number_integer() ? std::string() : kindWanted(f.kind);
    }
    return {};
}

// A Chinese SSID travels in UTF-8: the page shows those bytes as the code
// page reads them, and would convert that text again on "应用". The JSON
// gives the SSID itself, so that writing it back sends the same bytes.
bool validUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t c = uint8_t(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

std::string ssidText(const std::string& shown)
{
    const std::string bytes = systemTextCodec().utf8ToGbk(shown);
    if (systemTextCodec().gbkToUtf8(bytes) != shown)
        return shown;  // not the field's bytes
    if (ssidNeedsUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) &&
        validUtf8(bytes))
        return bytes;
    return shown;
}

}  // namespace

// ---- the page rig ------------------------------------------------------------------

namespace {

// The port the page opens and writes: COM1, in memory; it keeps the writes.
class CapturePort : public ComPort {
public:
    uint32_t probeComPorts() override { return 1u; }
    bool openComPort(int) override
    {
        open_ = true;
        return true;
    }
    void closeComPort() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        writes.emplace_back(bytes, bytes + count);
    }
    std::vector<std::vector<uint8_t>> writes;

private:
    bool open_ = false;
};

// The main window: creates the one page it holds.
class MemoryWindow : public SetupWindow {
public:
    WindowRect windowRect() const override { return rect_; }
    void setWindowRect(const WindowRect& r) override { rect_ = r; }
    void createDialog(int id) override
    {
        if (page && id == page->dialogId())
            page->onInit();
    }
    void destroyDialog(int) override {}
    void sendModelReady(const ModelReadyBlock& block) override { shell->onModelReady(block); }

    SetupShell* shell = nullptr;
    SetupPage* page = nullptr;

private:
    WindowRect rect_ = SetupShell::startRect();
};

}  // namespace

struct PageDriver::Rig {
    CapturePort port;
    MemoryWindow window;
    SetupShell shell{port, window, setupPagesV36};
    MemoryView view;
    std::unique_ptr<ParamPage> page;
    NetworkPage* network = nullptr;
    int model = 0;
    int level = 0;
    std::vector<Field> fields;

    bool nameHoldsId() const { return view.text(IDC_NAME_LABEL) == kIdLabel; }

    // Whether the field shows on the page now, and whether the user can change it.
    bool shown(const Field& f) const
    {
        switch (f.kind) {
        case Kind::name:
            return !nameHoldsId() && view.isVisible(f.control);
        case Kind::deviceId:
            return nameHoldsId() && view.isVisible(f.control);
        case Kind::merge:
            return true;
        default:
            return view.isVisible(f.control);
        }
    }
    bool editable(const Field& f) const
    {
        if (f.kind == Kind::merge)
            return false;
        if (f.kind == Kind::network)
            return true;  // the radio buttons are always enabled
        return shown(f) && view.isEnabled(f.control);
    }

    // The field's value as the page shows it; null when it shows none.
    // levelTest: a device ID the page shows as "0" below its level is none.
    Json value(const Field& f, bool levelTest) const
    {
        if (!shown(f))
            return nullptr;
        switch (f.kind) {
        case Kind::mode: {
            const int sel = view.selection(f.control);
            if (sel < 0)
                return nullptr;
            return sel == connectWait ? kWaitText : kActiveText;
        }
        case Kind::network:
            return view.checked(IDC_WIFI) ? "wifi" : "wired";
        case Kind::dhcp:
        case Kind::domainEnabled:
            return view.checked(f.control);
        case Kind::deviceId: {
            const ParamModelInfo* info = paramModelInfo(uint8_t(model));
            if (levelTest && info && level < info->deviceIdLevel)
                return nullptr;
            return parseSigned(view.text(f.control).c_str());
        }
        case Kind::name:
        case Kind::text: {
            const std::string t = view.text(f.control);
            if (t.empty() && !view.isEnabled(f.control))
                return nullptr;
            return f.control == IDC_SSID ? ssidText(t) : t;
        }
        case Kind::address: {
            const std::string a = view.address(f.control);
            if (a.empty())
                return nullptr;
            return a;
        }
        case Kind::port:
            return parseSigned(view.text(f.control).c_str());
        case Kind::baud: {
            const int sel = view.selection(f.control);
            if (sel < 0 || sel >= int(std::size(kBauds)))
                return nullptr;
            return kBauds[sel];
        }
        case Kind::merge:
            return network ? network->antennaMerge() : 0;
        }
        return nullptr;
    }

    // Types v into the field as a user would (its value has been checked).
    void type(const Field& f, const Json& v)
    {
        switch (f.kind) {
        case Kind::mode:
            view.setSelection(f.control, v == kWaitText ? connectWait : connectActive);
            page->onCommand(f.control);
            break;
        case Kind::network: {
            const bool wifi = v == "wifi";
            view.setChecked(IDC_WIFI, wifi);
            view.setChecked(IDC_WIRED, !wifi);
            page->onCommand(wifi ? IDC_WIFI : IDC_WIRED);
            break;
        }
        case Kind::dhcp:
        case Kind::domainEnabled:
            view.setChecked(f.control, v.get<bool>());
            page->onCommand(f.control);
            break;
        case Kind::name:
        case Kind::text:
            view.setText(f.control, v.get<std::string>());
            break;
        case Kind::address: {
            // An address the control cannot hold is typed as blank: the
            // page then refuses it with its own message, in its own order.
            uint32_t ip = 0;
            view.setAddress(f.control, parseDottedQuad(v.get<std::string>(), &ip) ? dottedQuad(ip)
                                                                                 : std::string());
            break;
        }
        case Kind::port:
        case Kind::deviceId:
            view.setText(f.control, decimalText(v.get<long long>()));
            break;
        case Kind::baud:
            for (size_t i = 0; i < std::size(kBauds); ++i) {
                if (v == kBauds[i])
                    view.setSelection(f.control, int(i));
            }
            break;
        case Kind::merge:
            break;
        }
    }

    const Field* fieldOf(const std::string& key) const
    {
        for (const Field& f : fields) {
            if (key == f.key)
                return &f;
        }
        return nullptr;
    }
    // The field of a control the page read before refusing.
    std::string keyOfControl(int control) const
    {
        for (const Field& f : fields) {
            if (f.control != control)
                continue;
            if (f.kind == Kind::name && nameHoldsId())
                continue;
            if (f.kind == Kind::deviceId && !nameHoldsId())
                continue;
            return f.key;
        }
        return {};
    }
};

PageDriver::PageDriver() : rig_(new Rig) {}
PageDriver::~PageDriver() = default;

std::unique_ptr<PageDriver> PageDriver::create(uint8_t level, const uint8_t* payload,
                                               size_t length, std::string* why)
{
    if (!paramLevelSupported(level)) {
        *why = "the reader's protocol level is 0: its firmware is older than the configuration tool supports";
        return nullptr;
    }
    ParamRecordStore store;
    store.assign(payload, length);
    const int model = store.modelCode();
    std::unique_ptr<PageDriver> d(new PageDriver);
    Rig& r = *d->rig_;
    if (model == modelDomain) {
        r.page.reset(new DomainPage(r.shell, r.view, systemTextCodec()));
    } else if (const NetworkPageTraits* t = networkPageTraits(model)) {
        r.network = new NetworkPage(r.shell, r.view, systemTextCodec(), *t);
        r.page.reset(r.network);
    } else {
        *why = "the reader names model " + std::to_string(model) + ", which has no page";
        return nullptr;
    }
    r.model = model;
    r.level = level;
    r.fields = fieldsOf(model);
    r.window.shell = &r.shell;
    r.window.page = r.page.get();
    r.shell.onParameterReply(level, payload, length);  // the page shows the record
    return d;
}

int PageDriver::model() const { return rig_->model; }

Json PageDriver::record() const
{
    const Rig& r = *rig_;
    Json j;
    j["model"] = r.model;
    j["level"] = r.level;
    j["version"] = r.view.text(IDC_VERSION);
    if (r.network && r.network->traits().macPrefix) {
        std::string mac = r.view.text(IDC_MAC);
        mac.erase(0, mac.find_first_not_of(' '));
        if (mac.size() == paramMacTextSize - 1)  // not "未识别"
            j["mac"] = mac;
    }
    for (const Field& f : r.fields) {
        Json v = r.value(f, true);
        if (!v.is_null())
            j[f.key] = std::move(v);
    }
    return j;
}

ApplyResult PageDriver::apply(const Json& file)
{
    Rig& r = *rig_;
    ApplyResult out;
    const auto refuse = [&](const std::string& key, const std::string& message) {
        out.outcome = ApplyResult::Outcome::refused;
        out.key = key;
        out.message = message;
        return out;
    };
    if (!file.is_object())
        return refuse("", "文件内容应为一个JSON对象");
    for (const auto& [key, v] : file.items()) {
        if (key == "model") {
            if (!v.is_number_integer())
                return refuse(key, "类型不对，应为整数");
            if (v.get<long long>() != r.model)
                return refuse(key, "与读卡器的型号（" + std::to_string(r.model) + "）不同");
            continue;
        }
        if (key == "level" || key == "version" || key == "mac")
            continue;  // what the reader says of itself: never written
        const Field* f = r.fieldOf(key);
        if (!f)
            return refuse(key, "此型号没有这一项");
        const std::string bad = checkValue(*f, v);
        if (!bad.empty())
            return refuse(key, bad);
    }
    // Choices first, then the fields they leave to type into.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Field& f : r.fields) {
            if (isChoice(f.kind) != (pass == 0) || !file.contains(f.key))
                continue;
            const Json& v = file[f.key];
            if (!r.editable(f)) {
                if (r.value(f, false) == v)
                    continue;
                return refuse(f.key, "当前设置下不能修改此项");
            }
            if (isChoice(f.kind) && r.value(f, false) == v)
                continue;  // unchanged: no click
            r.type(f, v);
        }
    }
    Json intended;
    for (const Field& f : r.fields) {
        if (!r.editable(f))
            continue;
        Json v = r.value(f, false);
        if (!v.is_null())
            intended[f.key] = std::move(v);
    }

    const size_t before = r.view.refusals().size();
    r.port.writes.clear();
    r.page->onCommand(IDC_APPLY);
    if (r.view.refusals().size() > before) {
        const MemoryView::Refusal& why = r.view.refusals()[before];
        return refuse(r.keyOfControl(why.control), why.message);
    }
    ConfigFrame frame;
    if (r.port.writes.size() != 1 ||
        configFrameCheck(r.port.writes[0].data(), r.port.writes[0].size(), &frame) !=
            ConfigCheck::ok ||
        frame.command != configCmdWriteRequest)
        return refuse("", "页面没有发出写入请求");
    out.outcome = ApplyResult::Outcome::written;
    std::copy(frame.payload, frame.payload + frame.length, out.payload.bytes.begin());
    out.payload.length = frame.length;
    out.intended = std::move(intended);
    return out;
}

std::vector<std::string> pageKeys(int model)
{
    std::vector<std::string> keys = {"model", "level", "version"};
    const NetworkPageTraits* t = networkPageTraits(model);
    if (t && t->macPrefix)
        keys.push_back("mac");
    for (const Field& f : fieldsOf(model))
        keys.push_back(f.key);
    return keys;
}

std::vector<std::string> fieldsNotTaken(const Json& want, const Json& got)
{
    std::vector<std::string> out;
    for (const auto& [key, v] : want.items()) {
        // A field the reader's page does not show (a device ID below its
        // level) cannot be checked.
        if (got.contains(key) && got[key] != v)
            out.push_back(key);
    }
    return out;
}

std::string hexBytes(const uint8_t* bytes, size_t count)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}
