// The configuration tool assembled over fakes: the shell, the port-choice
// dialog and the four wired pages, registered with a fake main window, and
// typical records of a wired and a compact wired reader.
#pragma once
#include "setupFakes.h"
#include "setup/wiredPage.h"

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

inline RecordBuilder recordFor(int model, uint8_t mode)
{
    return model == modelCompactWired ? compactRecord(mode) : wiredRecord(uint8_t(model), mode);
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
    PortChoiceDialog choice{shell, choiceView};
    WiredPage page105{shell, view105, systemTextCodec(), *wiredPageTraits(modelWired)};
    WiredPage page111{shell, view111, systemTextCodec(), *wiredPageTraits(modelWiredOneAntenna)};
    WiredPage page115{shell, view115, systemTextCodec(), *wiredPageTraits(modelCompactWired)};
    WiredPage page113{shell, view113, systemTextCodec(), *wiredPageTraits(modelWiredActive)};

    SetupRig()
    {
        window.shell = &shell;
        window.add(choice, choiceView);
        window.add(page105, view105);
        window.add(page111, view111);
        window.add(page115, view115);
        window.add(page113, view113);
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

    WiredPage& pageFor(int model)
    {
        switch (model) {
        case modelWired:
            return page105;
        case modelWiredOneAntenna:
            return page111;
        case modelCompactWired:
            return page115;
        default:
            return page113;
        }
    }
    FakeSetupView& viewFor(int model) { return *window.views[pageFor(model).dialogId()]; }

    // The user opens the port in dialog 103 and the reader answers with
    // record at level: the page of its model shows.
    WiredPage& showPage(int model, uint8_t mode, uint8_t level = 3)
    {
        choice.onCommand(IDC_PORT_BUTTON);
        reply(level, recordFor(model, mode).bytes);
        return pageFor(model);
    }
};
