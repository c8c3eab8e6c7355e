// The wired pages (models 1, 2, 6 and 52): what the record shows, the
// connect-mode switch, the DHCP box, the eye button, closing and re-reading,
// the checks of "应用" in each page's order, and the write payloads byte for
// byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "setupRig.h"

namespace {

const Bytes kPlatformIp = {0xC0, 0xA8, 0x01, 0x64};  // 192.168.1.100
const Bytes kPort8800 = {0x22, 0x60};
const Bytes kAddresses = {0xC0, 0xA8, 0x01, 0xC3, 0xFF, 0xFF, 0xFF, 0x00,
                          0xC0, 0xA8, 0x01, 0x01};  // IP, mask, gateway
const Bytes kId3e9 = {0xB2, 0xD0, 0x5E, 0x00};

std::string gbkText(const char* utf8) { return gbkOf(utf8); }

}  // namespace

// ---- initialisation ----------------------------------------------------

TEST(WiredPageInit, ShowsTheRecordPageByPage)
{
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        uint8_t level;
        const char* mac;      // null: the page has no MAC control
        const char* label;
        const char* nameText;
        bool active;
        std::vector<std::pair<int, int>> selections;
    };
    const Case cases[] = {
        {"model 1 active, level 3", 1, 1, 3, "00-1A-2B-3C-4D-5E", "设备名称：", "读卡器A", true,
         {{IDC_RS485_BAUD, 4}, {IDC_ANTENNA_BAUD, 2}, {IDC_ANTENNA1_BAUD, 1}, {IDC_CONNECT_MODE, 1}}},
        {"model 1 wait, level 2", 1, 0, 2, "未识别", "设备ID：", "-1294967296", false,
         {{IDC_RS485_BAUD, 4}, {IDC_ANTENNA_BAUD, 2}, {IDC_ANTENNA1_BAUD, 1}, {IDC_CONNECT_MODE, 0}}},
        {"model 1 wait, level 1", 1, 0, 1, "未识别", "设备ID：", "0", false, {{IDC_CONNECT_MODE, 0}}},
        {"model 2 active, level 3", 2, 1, 3, "00-1A-2B-3C-4D-5E", "设备名称：", "读卡器A", true,
         {{IDC_ANTENNA_BAUD, 1}, {IDC_CONNECT_MODE, 1}}},
        {"model 2 wait, level 2", 2, 0, 2, "未识别", "设备ID：", "-1294967296", false,
         {{IDC_ANTENNA_BAUD, 1}, {IDC_CONNECT_MODE, 0}}},
        {"model 6 wait, level 1", 6, 0, 1, "  A0-B1-C2-D3-E4-F5", "设备ID：", "123456", false,
         {{IDC_CONNECT_MODE, 0}}},
        {"model 6 active, level 1", 6, 1, 1, "  A0-B1-C2-D3-E4-F5", "设备名称：", "dev006", true,
         {{IDC_CONNECT_MODE, 1}}},
        {"model 52, wait in the record", 52, 0, 1, nullptr, "设备名称：", "读卡器A", true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        NetworkPage& page = rig.showPage(c.model, c.mode, c.level);
        FakeSetupView& v = rig.viewFor(c.model);
        const bool compact = c.model == 6;

        EXPECT_EQ(rig.shell.currentPage(), &page);
        EXPECT_EQ(v.texts[IDC_VERSION], compact ? "C1.0" : "V2.03");
        EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "关闭串口");
        EXPECT_EQ(v.timers.at(IDT_REPLY), 1000);
        EXPECT_FALSE(v.isEnabled(IDC_PORT_LIST));
        EXPECT_EQ(v.itemsOf(IDC_PORT_LIST), std::vector<std::string>({"COM1", "COM5"}));
        if (c.mac)
            EXPECT_EQ(v.texts[IDC_MAC], c.mac);
        else
            EXPECT_EQ(v.texts.count(IDC_MAC), 0u);

        EXPECT_EQ(v.addresses[IDC_IP], compact ? "10.0.0.66" : "192.168.1.195");
        EXPECT_EQ(v.addresses[IDC_MASK], compact ? "255.0.0.0" : "255.255.255.0");
        EXPECT_EQ(v.addresses[IDC_GATEWAY], compact ? "10.0.0.1" : "192.168.1.1");
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY})
            EXPECT_TRUE(v.isEnabled(id)) << id;
        if (c.model == 52) {
            EXPECT_EQ(v.checks.count(IDC_DHCP), 0u);
        } else {
            EXPECT_FALSE(v.checked(IDC_DHCP));
            EXPECT_TRUE(v.isEnabled(IDC_DHCP));
        }
        for (const auto& [id, index] : c.selections) {
            EXPECT_EQ(v.selection(id), index) << id;
            EXPECT_TRUE(v.isEnabled(id)) << id;
        }

        EXPECT_EQ(v.texts[IDC_NAME_LABEL], c.label);
        EXPECT_TRUE(v.isVisible(IDC_NAME_LABEL));
        EXPECT_TRUE(v.isVisible(IDC_NAME));
        EXPECT_TRUE(v.isEnabled(IDC_NAME));
        EXPECT_EQ(v.texts[IDC_NAME], c.nameText);
        for (int id : activeControls())
            EXPECT_EQ(v.isVisible(id), c.active) << id;
        if (c.active) {
            EXPECT_EQ(v.texts[IDC_PASSWORD], compact ? "secret6" : "pw123456");
            EXPECT_TRUE(v.masked[IDC_PASSWORD]);
            EXPECT_EQ(v.bitmaps[IDC_EYE], IDB_EYE_CLOSED);
            EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], compact ? "10.0.0.9" : "192.168.1.100");
            EXPECT_EQ(v.texts[IDC_PLATFORM_PORT], compact ? "9000" : "8800");
        }
        for (int id : {IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP, IDC_PLATFORM_PORT, IDC_APPLY})
            EXPECT_TRUE(v.isEnabled(id)) << id;
        EXPECT_TRUE(v.boxes.empty());
    }
}

TEST(WiredPageInit, DhcpOnDisablesTheAddressesButShowsThem)
{
    for (int model : {1, 2, 6}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        rig.choice.onCommand(IDC_PORT_BUTTON);
        rig.reply(3, recordFor(model, 1).u8(model == 6 ? 92 : 88, 1).bytes);
        FakeSetupView& v = rig.viewFor(model);
        EXPECT_TRUE(v.checked(IDC_DHCP));
        EXPECT_TRUE(v.isEnabled(IDC_DHCP));
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY}) {
            EXPECT_FALSE(v.isEnabled(id)) << id;
            EXPECT_FALSE(v.addresses[id].empty()) << id;
        }
    }
}

TEST(WiredPageInit, Model52ReadsNoDhcpFlagAndKeepsItsAddressesEnabled)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(3, wiredRecord(modelWiredActive, 1).u8(88, 1).bytes);
    for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY})
        EXPECT_TRUE(rig.view113.isEnabled(id)) << id;
    EXPECT_EQ(rig.view113.addresses[IDC_IP], "192.168.1.195");
    rig.page113.onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 93u);
    EXPECT_EQ(p[71], 0);
    EXPECT_EQ(Bytes(p.begin() + 72, p.begin() + 84), kAddresses);
}

TEST(WiredPageInit, UnknownCodesInTheRecordLeaveNoSelection)
{
    // A baud code above 4 or a connect mode above 1 selects nothing; a
    // list without a selection writes 0xFF, a mode without one is active.
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(3, wiredRecord(modelWired, 2).u8(101, 7).u8(102, 0xFF).bytes);
    FakeSetupView& v = rig.view105;
    EXPECT_EQ(v.selection(IDC_RS485_BAUD), -1);
    EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), -1);
    EXPECT_EQ(v.selection(IDC_ANTENNA1_BAUD), 1);
    EXPECT_EQ(v.selection(IDC_CONNECT_MODE), -1);
    EXPECT_EQ(v.texts[IDC_NAME_LABEL], "设备名称：");
    for (int id : activeControls())
        EXPECT_TRUE(v.isVisible(id)) << id;
    rig.page105.onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 93u);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[84], 0xFF);
    EXPECT_EQ(p[85], 0xFF);
    EXPECT_EQ(p[86], 1);
}

TEST(WiredPageInit, ARefreshInWaitModeHidesThePlatformControls)
{
    // An active record, then (without a re-read in between) a wait record.
    SetupRig rig;
    rig.showPage(modelWired, 1);
    rig.reply(3, wiredRecord(modelWired, 0).bytes);
    for (int id : activeControls())
        EXPECT_FALSE(rig.view105.isVisible(id)) << id;
    EXPECT_EQ(rig.view105.texts[IDC_NAME_LABEL], "设备ID：");
    EXPECT_EQ(rig.view105.texts[IDC_NAME], "-1294967296");
}

// ---- connect mode, DHCP, eye -------------------------------------------

TEST(WiredPageConnectMode, AnyNotificationShowsTheRecordsValuesForTheSelection)
{
    for (int model : {1, 2, 6}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        rig.showPage(model, 1, 1);  // level 1: the ID is not shown at init on 1 and 2
        FakeSetupView& v = rig.viewFor(model);
        NetworkPage& page = rig.pageFor(model);
        const bool compact = model == 6;

        // Merely opening the list replaces what was typed.
        v.type(IDC_NAME, "typed");
        v.type(IDC_PASSWORD, "typed");
        v.typeAddress(IDC_PLATFORM_IP, "1.2.3.4");
        v.type(IDC_PLATFORM_PORT, "1");
        page.onCommand(IDC_CONNECT_MODE);
        EXPECT_EQ(v.texts[IDC_NAME], compact ? "dev006" : "读卡器A");
        EXPECT_EQ(v.texts[IDC_PASSWORD], compact ? "secret6" : "pw123456");
        EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], compact ? "10.0.0.9" : "192.168.1.100");
        EXPECT_EQ(v.texts[IDC_PLATFORM_PORT], compact ? "9000" : "8800");

        // To wait mode: the device ID, without a level test, and the seven hidden.
        v.pick(IDC_CONNECT_MODE, 0);
        page.onCommand(IDC_CONNECT_MODE);
        EXPECT_EQ(v.texts[IDC_NAME_LABEL], "设备ID：");
        EXPECT_EQ(v.texts[IDC_NAME], compact ? "123456" : "-1294967296");
        for (int id : activeControls())
            EXPECT_FALSE(v.isVisible(id)) << id;

        // Back to active: the password is masked again.
        page.onCommand(IDC_EYE);
        EXPECT_FALSE(page.passwordMasked());
        v.pick(IDC_CONNECT_MODE, 1);
        page.onCommand(IDC_CONNECT_MODE);
        EXPECT_EQ(v.texts[IDC_NAME_LABEL], "设备名称：");
        EXPECT_TRUE(page.passwordMasked());
        EXPECT_TRUE(v.masked[IDC_PASSWORD]);
        EXPECT_EQ(v.bitmaps[IDC_EYE], IDB_EYE_CLOSED);
        for (int id : activeControls())
            EXPECT_TRUE(v.isVisible(id)) << id;
    }
}

TEST(WiredPageDhcp, CheckingClearsAndDisablesUncheckingEnablesEmpty)
{
    for (int model : {1, 2, 6}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        NetworkPage& page = rig.showPage(model, 1);
        FakeSetupView& v = rig.viewFor(model);
        v.toggle(IDC_DHCP);
        page.onCommand(IDC_DHCP);
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY}) {
            EXPECT_FALSE(v.isEnabled(id)) << id;
            EXPECT_EQ(v.addresses[id], "") << id;
        }
        v.toggle(IDC_DHCP);
        page.onCommand(IDC_DHCP);
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY}) {
            EXPECT_TRUE(v.isEnabled(id)) << id;
            EXPECT_EQ(v.addresses[id], "") << id;
        }
        // Still empty at apply: refused.
        page.onCommand(IDC_APPLY);
        EXPECT_EQ(v.boxTexts(), std::vector<std::string>({"IP格式不对"}));
    }
}

TEST(WiredPageEye, TogglesMaskAndBitmapAndKeepsTheFirst29Bytes)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelWired, 1);
    FakeSetupView& v = rig.view105;
    EXPECT_TRUE(page.passwordMasked());
    EXPECT_EQ(page.eyeBitmap(), IDB_EYE_CLOSED);

    struct Case {
        std::string typed;
        std::string kept;
    };
    const Case cases[] = {
        {"short", "short"},
        {std::string(40, 'p'), std::string(29, 'p')},
        // 15 double-byte characters are 30 bytes: 14 stay, none is split.
        {"一二三四五六七八九十一二三四五", "一二三四五六七八九十一二三四"},
    };
    bool masked = true;
    for (const Case& c : cases) {
        v.type(IDC_PASSWORD, c.typed);
        page.onCommand(IDC_EYE);
        masked = !masked;
        EXPECT_EQ(page.passwordMasked(), masked);
        EXPECT_EQ(v.masked[IDC_PASSWORD], masked);
        EXPECT_EQ(v.bitmaps[IDC_EYE], masked ? IDB_EYE_CLOSED : IDB_EYE_OPEN);
        EXPECT_EQ(v.texts[IDC_PASSWORD], c.kept);
    }
}

// ---- close and re-read -------------------------------------------------

TEST(WiredPageClose, DisablesThePagesInputs)
{
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        std::set<int> disabled;
    };
    const std::set<int> active = {IDC_PASSWORD, IDC_EYE, IDC_PLATFORM_IP, IDC_PLATFORM_PORT};
    auto with = [](std::set<int> a, const std::set<int>& b) {
        a.insert(b.begin(), b.end());
        return a;
    };
    const std::set<int> model1 = {IDC_IP, IDC_MASK, IDC_GATEWAY, IDC_DHCP, IDC_RS485_BAUD,
                                  IDC_ANTENNA_BAUD, IDC_ANTENNA1_BAUD, IDC_CONNECT_MODE,
                                  IDC_NAME, IDC_APPLY};
    const std::set<int> model2 = {IDC_IP, IDC_MASK, IDC_GATEWAY, IDC_DHCP, IDC_ANTENNA_BAUD,
                                  IDC_CONNECT_MODE, IDC_NAME, IDC_APPLY};
    const std::set<int> model6 = {IDC_IP, IDC_MASK, IDC_GATEWAY, IDC_DHCP, IDC_CONNECT_MODE,
                                  IDC_NAME, IDC_APPLY};
    const std::set<int> model52 = {IDC_IP, IDC_MASK, IDC_GATEWAY, IDC_NAME, IDC_APPLY};
    const Case cases[] = {
        {"model 1 active", 1, 1, with(model1, active)},
        {"model 1 wait", 1, 0, model1},
        {"model 2 active", 2, 1, with(model2, active)},
        {"model 6 active", 6, 1, with(model6, active)},
        {"model 6 wait", 6, 0, model6},
        {"model 52", 52, 0, with(model52, active)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        NetworkPage& page = rig.showPage(c.model, c.mode);
        FakeSetupView& v = rig.viewFor(c.model);
        page.onCommand(IDC_PORT_BUTTON);
        EXPECT_EQ(v.disabled, c.disabled);
        EXPECT_EQ(rig.port.current, 0);
        EXPECT_FALSE(page.portOpen());
        EXPECT_FALSE(v.timerRunning(IDT_REPLY));
        EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "打开串口");
    }
}

TEST(WiredPageReread, ClearsTheFieldsAndSendsTheReadRequest)
{
    struct Case {
        int model;
        std::vector<int> clearedLists;
        std::vector<int> untouchedLists;
    };
    const Case cases[] = {
        {1, {IDC_RS485_BAUD, IDC_ANTENNA_BAUD, IDC_ANTENNA1_BAUD, IDC_CONNECT_MODE}, {}},
        {2, {IDC_ANTENNA_BAUD, IDC_CONNECT_MODE}, {IDC_RS485_BAUD, IDC_ANTENNA1_BAUD}},
        {6, {IDC_CONNECT_MODE}, {IDC_RS485_BAUD, IDC_ANTENNA_BAUD, IDC_ANTENNA1_BAUD}},
        {52, {}, {IDC_RS485_BAUD, IDC_ANTENNA_BAUD, IDC_ANTENNA1_BAUD, IDC_CONNECT_MODE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        SetupRig rig;
        NetworkPage& page = rig.showPage(c.model, 1);
        FakeSetupView& v = rig.viewFor(c.model);
        page.onCommand(IDC_PORT_BUTTON);
        const size_t writes = rig.port.writes.size();
        v.calls.clear();
        page.onCommand(IDC_PORT_BUTTON);

        EXPECT_EQ(rig.port.current, 1);
        ASSERT_EQ(rig.port.writes.size(), writes + 1);
        EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
        EXPECT_EQ(rig.shell.replyCountdown(), 3);
        EXPECT_TRUE(page.portOpen());
        EXPECT_EQ(v.timers.at(IDT_REPLY), 1000);
        EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "关闭串口");
        EXPECT_FALSE(v.isEnabled(IDC_PORT_LIST));
        EXPECT_EQ(v.texts[IDC_VERSION], "");
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY})
            EXPECT_EQ(v.addresses[id], "") << id;
        for (int id : c.clearedLists)
            EXPECT_EQ(v.selection(id), -1) << id;
        for (int id : c.untouchedLists) {
            const std::string call = "setSelection " + std::to_string(id);
            EXPECT_TRUE(std::none_of(v.calls.begin(), v.calls.end(), [&](const std::string& s) {
                return s.rfind(call, 0) == 0;
            })) << id;
        }
        for (int id = IDC_NAME_LABEL; id <= IDC_PLATFORM_PORT_LABEL; ++id)
            EXPECT_FALSE(v.isVisible(id)) << id;
        EXPECT_TRUE(v.boxes.empty());
    }
}

TEST(WiredPageReread, OpenFailureShowsTheMessageAndChangesNothing)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelWired, 1);
    page.onCommand(IDC_PORT_BUTTON);
    rig.port.openable.clear();
    const size_t writes = rig.port.writes.size();
    rig.view105.calls.clear();
    page.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.view105.boxTexts(), std::vector<std::string>({"打开串口失败"}));
    EXPECT_EQ(rig.view105.boxes[0].kind, BoxKind::information);
    EXPECT_EQ(rig.view105.calls, std::vector<std::string>({"message 0 打开串口失败"}));
    EXPECT_EQ(rig.port.writes.size(), writes);
    EXPECT_FALSE(page.portOpen());
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
}

TEST(WiredPageReread, AntennaMergeFlagIsZeroUntilTheNextReply)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelWired, 1);
    EXPECT_EQ(page.antennaMerge(), 1);
    page.onCommand(IDC_PORT_BUTTON);
    page.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(page.antennaMerge(), 0);
    rig.reply(3, wiredRecord(modelWired, 1).u8(105, 1).bytes);
    EXPECT_EQ(page.antennaMerge(), 1);
}

TEST(WiredPageDestroy, PostsQuitWithCodeZero)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelWired, 1);
    page.onDestroy();
    EXPECT_EQ(rig.view105.quitCode, 0);
}

// ---- apply: checks -----------------------------------------------------

namespace {

}  // namespace

TEST(WiredPageApply, ChecksInEachPagesOrder)
{
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        std::vector<Edit> edits;
        const char* message;  // null: the write goes out
    };
    const Case cases[] = {
        {"1 active: platform IP blank", 1, 1, {{IDC_PLATFORM_IP, ""}}, "平台IP格式不对"},
        {"1 active: port empty", 1, 1, {{IDC_PLATFORM_PORT, ""}}, "平台端口不能为空"},
        {"1 active: name empty", 1, 1, {{IDC_NAME, ""}}, "设备名称不能为空"},
        {"1 active: password empty", 1, 1, {{IDC_PASSWORD, ""}}, "设备密码不能为空"},
        {"1 active: IP blank", 1, 1, {{IDC_IP, ""}}, "IP格式不对"},
        {"1 active: mask blank", 1, 1, {{IDC_MASK, ""}}, "IP格式不对"},
        {"1 active: gateway blank", 1, 1, {{IDC_GATEWAY, ""}}, "IP格式不对"},
        {"1 active: everything empty", 1, 1,
         {{IDC_PLATFORM_IP, ""}, {IDC_PLATFORM_PORT, ""}, {IDC_NAME, ""}, {IDC_PASSWORD, ""},
          {IDC_IP, ""}},
         "平台IP格式不对"},
        {"1 active: port and name empty", 1, 1, {{IDC_PLATFORM_PORT, ""}, {IDC_NAME, ""}},
         "平台端口不能为空"},
        {"1 active: name empty, IP blank", 1, 1, {{IDC_NAME, ""}, {IDC_IP, ""}},
         "设备名称不能为空"},
        {"1 active: password empty, gateway blank", 1, 1, {{IDC_PASSWORD, ""}, {IDC_GATEWAY, ""}},
         "设备密码不能为空"},
        {"1 active: blank port text is not empty", 1, 1, {{IDC_PLATFORM_PORT, " "}}, nullptr},
        {"1 wait: device ID empty", 1, 0, {{IDC_NAME, ""}}, "设备ID不能为空"},
        {"1 wait: addresses come before the ID", 1, 0, {{IDC_NAME, ""}, {IDC_MASK, ""}},
         "IP格式不对"},
        {"1 wait: platform fields are not checked", 1, 0,
         {{IDC_PLATFORM_IP, ""}, {IDC_PLATFORM_PORT, ""}, {IDC_PASSWORD, ""}}, nullptr},
        {"2 active: port empty", 2, 1, {{IDC_PLATFORM_PORT, ""}}, "平台端口不能为空"},
        {"2 wait: addresses come before the ID", 2, 0, {{IDC_NAME, ""}, {IDC_IP, ""}},
         "IP格式不对"},
        {"6 wait: the ID comes before the addresses", 6, 0, {{IDC_NAME, ""}, {IDC_IP, ""}},
         "设备ID不能为空"},
        {"6 wait: IP blank", 6, 0, {{IDC_GATEWAY, ""}}, "IP格式不对"},
        {"6 active: platform before addresses", 6, 1, {{IDC_IP, ""}, {IDC_PLATFORM_IP, ""}},
         "平台IP格式不对"},
        {"6 active: password empty", 6, 1, {{IDC_PASSWORD, ""}}, "设备密码不能为空"},
        {"52: platform IP blank", 52, 0, {{IDC_PLATFORM_IP, ""}}, "平台IP格式不对"},
        {"52: name empty", 52, 0, {{IDC_NAME, ""}}, "设备名称不能为空"},
        {"52: password before gateway", 52, 0, {{IDC_GATEWAY, ""}, {IDC_PASSWORD, ""}},
         "设备密码不能为空"},
        {"52: gateway blank", 52, 0, {{IDC_GATEWAY, ""}}, "IP格式不对"},
        {"52: port empty", 52, 0, {{IDC_PLATFORM_PORT, ""}}, "平台端口不能为空"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        NetworkPage& page = rig.showPage(c.model, c.mode);
        FakeSetupView& v = rig.viewFor(c.model);
        for (const Edit& e : c.edits) {
            if (isAddressControl(e.id))
                v.typeAddress(e.id, e.text);
            else
                v.type(e.id, e.text);
        }
        const size_t writes = rig.port.writes.size();
        page.onCommand(IDC_APPLY);
        if (c.message) {
            ASSERT_EQ(v.boxes.size(), 1u);
            EXPECT_EQ(v.boxes[0].text, c.message);
            EXPECT_EQ(v.boxes[0].kind, BoxKind::information);
            EXPECT_EQ(rig.port.writes.size(), writes);
            EXPECT_EQ(rig.shell.replyCountdown(), 0);
            // The page keeps what was typed.
            for (const Edit& e : c.edits)
                EXPECT_EQ(isAddressControl(e.id) ? v.addresses[e.id] : v.texts[e.id], e.text);
        } else {
            EXPECT_TRUE(v.boxes.empty());
            EXPECT_EQ(rig.port.writes.size(), writes + 1);
            EXPECT_EQ(rig.shell.replyCountdown(), 3);
        }
    }
}

TEST(WiredPageApply, DhcpOnSkipsTheAddressChecksAndSendsZeros)
{
    for (int model : {1, 2, 6}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        NetworkPage& page = rig.showPage(model, 0);
        FakeSetupView& v = rig.viewFor(model);
        v.toggle(IDC_DHCP);
        page.onCommand(IDC_DHCP);
        page.onCommand(IDC_APPLY);
        EXPECT_TRUE(v.boxes.empty());
        const Bytes p = lastWritePayload(rig.port);
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(p[71], 1);
        EXPECT_EQ(Bytes(p.begin() + 72, p.begin() + 84), Bytes(12, 0));
    }
}

// ---- apply: payloads ---------------------------------------------------

TEST(WiredPageApply, PayloadsByteForByte)
{
    const Bytes nameA = bytesOf(gbkText("读卡器A"));
    const Bytes admin = bytesOf("admin");
    const Bytes defaultPassword = bytesOf("314159");
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        Bytes payload;
    };
    const Case cases[] = {
        {"model 1 active", 1, 1,
         payloadWith(93, {{0, {1}},
                          {1, nameA},
                          {33, bytesOf("pw123456")},
                          {65, kPlatformIp},
                          {69, kPort8800},
                          {72, kAddresses},
                          {84, {4, 2, 1, 0, 1}}})},
        {"model 1 wait", 1, 0,
         payloadWith(93, {{1, admin},
                          {33, defaultPassword},
                          {72, kAddresses},
                          {84, {4, 2, 1, 0, 1}},
                          {89, kId3e9}})},
        {"model 2 active", 2, 1,
         payloadWith(93, {{0, {1}},
                          {1, nameA},
                          {33, bytesOf("pw123456")},
                          {65, kPlatformIp},
                          {69, kPort8800},
                          {72, kAddresses},
                          {86, {1}}})},
        {"model 2 wait", 2, 0,
         payloadWith(93, {{1, admin}, {33, defaultPassword}, {72, kAddresses}, {86, {1}},
                          {89, kId3e9}})},
        {"model 6 active", 6, 1,
         payloadWith(85, {{0, {1}},
                          {1, bytesOf("dev006")},
                          {33, bytesOf("secret6")},
                          {65, {0x0A, 0x00, 0x00, 0x09}},
                          {69, {0x23, 0x28}},
                          {72, {0x0A, 0x00, 0x00, 0x42, 0xFF, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x01}},
                          {84, {0xA5}}})},
        {"model 6 wait", 6, 0,
         payloadWith(85, {{1, admin},
                          {33, defaultPassword},
                          {65, {0x00, 0x01, 0xE2, 0x40}},
                          {72, {0x0A, 0x00, 0x00, 0x42, 0xFF, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x01}},
                          {84, {0xA5}}})},
        {"model 52", 52, 0,
         payloadWith(93, {{0, {1}},
                          {1, nameA},
                          {33, bytesOf("pw123456")},
                          {65, kPlatformIp},
                          {69, kPort8800},
                          {72, kAddresses}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        NetworkPage& page = rig.showPage(c.model, c.mode);
        page.onCommand(IDC_APPLY);
        EXPECT_TRUE(rig.viewFor(c.model).boxes.empty());
        ASSERT_EQ(rig.port.writes.size(), 2u);
        EXPECT_EQ(rig.port.writes.back(), writeFrame(c.payload));
        EXPECT_EQ(rig.shell.replyCountdown(), 3);
    }
}

TEST(WiredPageApply, TypedValuesAsTheyAreRead)
{
    struct Case {
        const char* name;
        uint8_t mode;
        Edit edit;
        size_t at;
        Bytes bytes;
    };
    const Case cases[] = {
        {"port 70000 wraps to 4464", 1, {IDC_PLATFORM_PORT, "70000"}, 69, {0x11, 0x70}},
        {"port leading digits", 1, {IDC_PLATFORM_PORT, " 8080x1"}, 69, {0x1F, 0x90}},
        {"port without digits is 0", 1, {IDC_PLATFORM_PORT, "abc"}, 69, {0x00, 0x00}},
        {"port -1", 1, {IDC_PLATFORM_PORT, "-1"}, 69, {0xFF, 0xFF}},
        {"platform IP with two fields typed", 1, {IDC_PLATFORM_IP, "192.168.0.0"}, 65,
         {0xC0, 0xA8, 0x00, 0x00}},
        {"name of 40 characters: the first 29", 1, {IDC_NAME, "abcdefghijklmnopqrstuvwxyz0123456789ABCD"},
         1, bytesOf(std::string("abcdefghijklmnopqrstuvwxyz012") + std::string(3, '\0'))},
        {"password of 40 characters: the first 29", 1,
         {IDC_PASSWORD, "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP"}, 33,
         bytesOf(std::string(29, 'P') + std::string(3, '\0'))},
        {"Chinese name: whole characters only", 1,
         {IDC_NAME, "一二三四五六七八九十一二三四五"}, 1,
         bytesOf(gbkText("一二三四五六七八九十一二三四") + std::string(4, '\0'))},
        {"device ID -5", 0, {IDC_NAME, "-5"}, 89, {0xFF, 0xFF, 0xFF, 0xFB}},
        {"device ID leading digits", 0, {IDC_NAME, "12abc"}, 89, {0x00, 0x00, 0x00, 0x0C}},
        {"device ID saturates", 0, {IDC_NAME, "99999999999"}, 89, {0x7F, 0xFF, 0xFF, 0xFF}},
        // 30 zeros and "123": the first 31 bytes read as 1.
        {"device ID read as 31 bytes", 0, {IDC_NAME, "000000000000000000000000000000123"}, 89,
         {0x00, 0x00, 0x00, 0x01}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        NetworkPage& page = rig.showPage(modelWired, c.mode);
        FakeSetupView& v = rig.view105;
        if (isAddressControl(c.edit.id))
            v.typeAddress(c.edit.id, c.edit.text);
        else
            v.type(c.edit.id, c.edit.text);
        page.onCommand(IDC_APPLY);
        ASSERT_TRUE(v.boxes.empty());
        const Bytes p = lastWritePayload(rig.port);
        ASSERT_EQ(p.size(), 93u);
        EXPECT_EQ(Bytes(p.begin() + std::ptrdiff_t(c.at),
                        p.begin() + std::ptrdiff_t(c.at + c.bytes.size())),
                  c.bytes);
    }
}

TEST(WiredPageApply, EditedBaudRatesAndModeAreWritten)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelWired, 1);
    FakeSetupView& v = rig.view105;
    v.pick(IDC_RS485_BAUD, 0);
    v.pick(IDC_ANTENNA_BAUD, 3);
    v.pick(IDC_ANTENNA1_BAUD, 4);
    v.pick(IDC_CONNECT_MODE, 0);
    page.onCommand(IDC_CONNECT_MODE);
    v.type(IDC_NAME, "42");
    page.onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 93u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(Bytes(p.begin() + 1, p.begin() + 6), bytesOf("admin"));
    EXPECT_EQ(Bytes(p.begin() + 65, p.begin() + 71), Bytes(6, 0));
    EXPECT_EQ(Bytes(p.begin() + 84, p.begin() + 89), Bytes({0, 3, 4, 0, 1}));
    EXPECT_EQ(Bytes(p.begin() + 89, p.begin() + 93), Bytes({0, 0, 0, 42}));
}

TEST(WiredPageApply, Model6EchoesTheReservedByteOfTheLatestRecord)
{
    SetupRig rig;
    NetworkPage& page = rig.showPage(modelCompactWired, 1);
    rig.reply(3, compactRecord(1).u8(105, 0x3C).bytes);
    page.onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 85u);
    EXPECT_EQ(p[84], 0x3C);
}
