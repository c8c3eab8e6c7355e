// The configuration tool assembled over fakes: the shell, the port-choice
// dialog and every model page, registered with a fake main window; typical
// records of each layout; helpers to type into a page and to read what it
// wrote.
#pragma once
#include <algorithm>

#include "setupFakes.h"
#include "setup/domainPage.h"
#include "setup/networkPage.h"

// A payload of size zero bytes with the given runs at their offsets.
inline Bytes payloadWith(size_t size, std::initializer_list<std::pair<size_t, Bytes>> runs)
{
    Bytes p(size, 0);
    for (const auto& [at, bytes] : runs)
        std::copy(bytes.begin(), bytes.end(), p.begin() + std::ptrdiff_t(at));
    return p;
}

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The payload of the last write request, checked as one.
inline Bytes lastWritePayload(const FakeComPort& port)
{
    if (port.writes.empty())
        return {};
    const Bytes& f = port.writes.back();
    ConfigFrame frame;
    if (configFrameCheck(f.data(), f.size(), &frame) != ConfigCheck::ok ||
        frame.command != configCmdWriteRequest || f[4] != 0)
        return {};
    return Bytes(frame.payload, frame.payload + frame.length);
}

// What the user types into one control before pressing a button.
struct Edit {
    int id;
    const char* text;  // an address control when the id is one
};

inline bool isAddressControl(int id)
{
    return id == IDC_IP || id == IDC_MASK || id == IDC_GATEWAY || id == IDC_PLATFORM_IP;
}

inline void typeEdits(FakeSetupView& v, const std::vector<Edit>& edits)
{
    for (const Edit& e : edits) {
        if (isAddressControl(e.id))
            v.typeAddress(e.id, e.text);
        else
            v.type(e.id, e.text);
    }
}

// The controls created hidden on every page that has a connect-mode list.
inline std::set<int> hiddenWithModeList()
{
    return {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP_LABEL,
            IDC_PLATFORM_IP, IDC_PLATFORM_PORT_LABEL, IDC_PLATFORM_PORT};
}

// The seven password and platform controls that follow the connect mode.
inline const std::vector<int>& activeControls()
{
    static const std::vector<int> ids = {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_EYE,
                                         IDC_PLATFORM_IP_LABEL, IDC_PLATFORM_IP,
                                         IDC_PLATFORM_PORT_LABEL, IDC_PLATFORM_PORT};
    return ids;
}

constexpr uint32_t kDeviceId3e9 = 3000000000u;  // shown as -1294967296

// A wired-layout record (models 1, 2, 52) with every field set.
inline RecordBuilder wiredRecord(uint8_t model, uint8_t mode)
{
    RecordBuilder r(116);
    r.version("V2.03")
        .u8(16, model)
        .u8(17, mode)
        .text(18, gbkOf("读卡器A"))
        .text(50, "pw123456")
        .u32(82, ipv4(192, 168, 1, 100))
        .u16(86, 8800)
        .u8(88, 0)
        .u32(89, ipv4(192, 168, 1, 195))
        .u32(93, ipv4(255, 255, 255, 0))
        .u32(97, ipv4(192, 168, 1, 1))
        .u8(101, 4)
        .u8(102, 2)
        .u8(103, 1)
        .u8(104, 0x77)
        .u8(105, 1)
        .u32(106, kDeviceId3e9)
        .raw(110, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    return r;
}

// A compact wired record (model 6).
inline RecordBuilder compactRecord(uint8_t mode)
{
    RecordBuilder r(112);
    r.version("C1.0")
        .u8(16, modelCompactWired)
        .u8(17, mode)
        .text(18, "dev006")
        .text(50, "secret6")
        .u32(82, ipv4(10, 0, 0, 9))
        .u16(86, 9000)
        .u32(88, 123456)
        .u8(92, 0)
        .u32(93, ipv4(10, 0, 0, 66))
        .u32(97, ipv4(255, 0, 0, 0))
        .u32(101, ipv4(10, 0, 0, 1))
        .u8(105, 0xA5)
        .raw(106, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5});
    return r;
}

// A WIFI record (model 3).
inline RecordBuilder wifiRecord(uint8_t mode)
{
    RecordBuilder r(180);
    r.version("W3.1")
        .u8(16, modelWifi)
        .u8(17, mode)
        .text(18, "wifi-dev")
        .text(50, "wpass")
        .u32(82, ipv4(192, 168, 1, 100))
        .u16(86, 8800)
        .u8(88, 0)
        .u32(89, ipv4(192, 168, 3, 30))
        .u32(93, ipv4(255, 255, 255, 0))
        .u32(97, ipv4(192, 168, 3, 1))
        .u8(102, 3)
        .text(106, "plant-ap")
        .text(138, "ap-secret")
        .u32(170, 4242)
        .raw(174, {0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    return r;
}

// A dual-network record (model 7) using network (networkWired or networkWifi).
inline RecordBuilder dualRecord(uint8_t mode, uint8_t network = networkWifi)
{
    RecordBuilder r(198);
    r.version("D7.2")
        .u8(16, modelDualNetwork)
        .u8(17, network)
        .text(18, "dual-ap")
        .text(50, "dual-secret")
        .raw(82, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F})
        .u8(88, 0)
        .u32(89, ipv4(10, 1, 1, 10))
        .u32(93, ipv4(255, 255, 0, 0))
        .u32(97, ipv4(10, 1, 0, 1))
        .raw(101, {0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F})
        .u8(107, 0)
        .u32(108, ipv4(172, 16, 2, 20))
        .u32(112, ipv4(255, 255, 255, 0))
        .u32(116, ipv4(172, 16, 2, 1))
        .u8(120, mode)
        .text(121, "dual-dev")
        .text(153, "dpass")
        .u32(185, ipv4(10, 9, 9, 9))
        .u16(189, 7000)
        .u32(191, 777)
        .u8(195, 2)
        .u8(197, 0x5A);
    return r;
}

// A domain record (model 5); domain: the domain name is enabled.
inline RecordBuilder domainRecord(bool domain)
{
    RecordBuilder r(150);
    r.version("N5.0")
        .u8(16, modelDomain)
        .text(17, "dom-dev")
        .text(49, "dom-pass")
        .u8(81, domain ? 1 : 0)
        .text(82, "reader.example.net")
        .u32(142, ipv4(10, 20, 30, 40))
        .u16(146, 6000)
        .u8(148, 1)
        .u8(149, 0xC3);
    return r;
}

inline RecordBuilder recordFor(int model, uint8_t mode)
{
    switch (model) {
    case modelCompactWired:
        return compactRecord(mode);
    case modelWifi:
        return wifiRecord(mode);
    case modelDualNetwork:
        return dualRecord(mode);
    case modelDomain:
        return domainRecord(mode != 0);
    default:
        return wiredRecord(uint8_t(model), mode);
    }
}

struct SetupRig {
    FakeComPort port;
    FakeSetupWindow window;
    SetupShell shell{port, window, setupPagesV36};
    FakeSetupView choiceView;
    FakeSetupView view105{hiddenWithModeList()};
    FakeSetupView view111{hiddenWithModeList()};
    FakeSetupView view115{hiddenWithModeList()};
    FakeSetupView view113;
    FakeSetupView view107{hiddenWithModeList()};
    FakeSetupView view117{hiddenWithModeList()};
    FakeSetupView view114;
    PortChoiceDialog choice{shell, choiceView};
    NetworkPage page105{shell, view105, systemTextCodec(), *networkPageTraits(modelWired)};
    NetworkPage page111{shell, view111, systemTextCodec(), *networkPageTraits(modelWiredOneAntenna)};
    NetworkPage page115{shell, view115, systemTextCodec(), *networkPageTraits(modelCompactWired)};
    NetworkPage page113{shell, view113, systemTextCodec(), *networkPageTraits(modelWiredActive)};
    NetworkPage page107{shell, view107, systemTextCodec(), *networkPageTraits(modelWifi)};
    NetworkPage page117{shell, view117, systemTextCodec(), *networkPageTraits(modelDualNetwork)};
    DomainPage page114{shell, view114, systemTextCodec()};

    SetupRig()
    {
        window.shell = &shell;
        window.add(choice, choiceView);
        window.add(page105, view105);
        window.add(page111, view111);
        window.add(page115, view115);
        window.add(page113, view113);
        window.add(page107, view107);
        window.add(page117, view117);
        window.add(page114, view114);
        shell.onCreate();
    }

    void deliver(const Bytes& frame) { dispatchFrame(frame.data(), frame.size(), shell); }
    void reply(uint8_t level, const Bytes& payload)
    {
        deliver(replyFrame(level, configCmdParamReply, payload));
    }
    void acknowledge() { deliver(replyFrame(2, configCmdWriteAck, {})); }
    // One tick of timer 1 in every dialog whose timer runs.
    void tick()
    {
        for (auto& [id, page] : window.dialogs) {
            if (window.views[id]->timerRunning(IDT_REPLY))
                page->onTimer(IDT_REPLY);
        }
    }

    NetworkPage& pageFor(int model)
    {
        switch (model) {
        case modelWired:
            return page105;
        case modelWiredOneAntenna:
            return page111;
        case modelCompactWired:
            return page115;
        case modelWifi:
            return page107;
        case modelDualNetwork:
            return page117;
        default:
            return page113;
        }
    }
    FakeSetupView& viewFor(int model)
    {
        return model == modelDomain ? view114 : *window.views[pageFor(model).dialogId()];
    }

    // The user opens the port in dialog 103 and the reader answers with
    // record at level: the page of its model shows.
    NetworkPage& showPage(int model, uint8_t mode, uint8_t level = 3)
    {
        choice.onCommand(IDC_PORT_BUTTON);
        reply(level, recordFor(model, mode).bytes);
        return pageFor(model);
    }
    // The same with a record of any layout.
    void showRecord(const RecordBuilder& record, uint8_t level = 3)
    {
        choice.onCommand(IDC_PORT_BUTTON);
        reply(level, record.bytes);
    }
};
