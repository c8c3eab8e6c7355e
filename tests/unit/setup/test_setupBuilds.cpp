// The older builds of the configuration tool (V3.5, V3.3, V3.0) against the
// current one: which models have a page and how far the window grows for
// it, the pages without a MAC control, the V3.3 WIFI antenna list, the V3.0
// wired pages without a DHCP box, the antenna-merge box, the V3.0 WIFI
// rules, and the sorted lists.
#include <gtest/gtest.h>

#include <memory>

#include "setupRig.h"
#include "setup/setupBuild.h"

namespace {

// The tool of one build over fakes: the port choice and the build's pages.
struct BuildRig {
    const SetupBuild& build;
    FakeComPort port;
    FakeSetupWindow window;
    SetupShell shell;
    FakeSetupView choiceView;
    PortChoiceDialog choice;
    std::vector<std::unique_ptr<FakeSetupView>> views;
    std::vector<std::unique_ptr<SetupPage>> pages;

    explicit BuildRig(int code)
        : build(*setupBuild(code)),
          shell(port, window, build.pages, build.pageCount, build.sortedLists),
          choice(shell, choiceView)
    {
        window.shell = &shell;
        window.add(choice, choiceView);
        for (size_t i = 0; i < build.pageCount; ++i) {
            const NetworkPageTraits* traits = build.networkPage(build.pages[i].model);
            views.push_back(std::make_unique<FakeSetupView>(
                traits && traits->hasModeList ? hiddenWithModeList() : std::set<int>{}));
            if (traits)
                pages.push_back(
                    std::make_unique<NetworkPage>(shell, *views.back(), systemTextCodec(), *traits));
            else
                pages.push_back(std::make_unique<DomainPage>(shell, *views.back(), systemTextCodec()));
            window.add(*pages.back(), *views.back());
        }
        shell.onCreate();
    }

    void show(const RecordBuilder& record, uint8_t level = 3)
    {
        choice.onCommand(IDC_PORT_BUTTON);
        dispatchFrame(replyFrame(level, configCmdParamReply, record.bytes).data(),
                      configHeaderSize + record.bytes.size(), shell);
    }
    SetupPage& page() { return *shell.currentPage(); }
    FakeSetupView& view() { return static_cast<FakeSetupView&>(page().view()); }
};

std::string ssidOf(const Bytes& payload)
{
    return std::string(payload.begin() + 89, payload.begin() + 121);
}

}  // namespace

TEST(SetupBuilds, ModelsWithAPageAndTheWindowsGrowth)
{
    struct Case {
        int build;
        int model;
        int growth;  // 0: no page, dialog 103 stays with its port closed
    };
    const Case cases[] = {
        {36, 2, 435}, {35, 2, 402}, {35, 1, 526}, {35, 7, 493}, {33, 1, 496}, {33, 2, 402},
        {33, 3, 463}, {33, 52, 298}, {33, 5, 0},  {33, 6, 0},   {33, 7, 0},   {30, 1, 541},
        {30, 2, 402}, {30, 3, 521},  {30, 52, 0}, {30, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "V" << c.build << " model " << c.model);
        BuildRig rig(c.build);
        rig.show(recordFor(c.model, 0));
        EXPECT_EQ(rig.port.current, c.growth ? 1 : 0);
        if (c.growth) {
            EXPECT_EQ(rig.window.rect.height, setupWindowHeight + c.growth);
            EXPECT_NE(rig.shell.currentPage(), &rig.choice);
        } else {
            EXPECT_EQ(rig.window.rect.height, setupWindowHeight);
            EXPECT_EQ(rig.shell.currentPage(), &rig.choice);
            EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "关闭串口");
            EXPECT_TRUE(rig.choiceView.boxes.empty());
        }
    }
}

TEST(SetupBuilds, OlderPagesShowNoMac)
{
    for (int build : {33, 30}) {
        for (int model : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << "V" << build << " model " << model);
            BuildRig rig(build);
            rig.show(recordFor(model, 0), 1);
            EXPECT_EQ(rig.view().texts.count(IDC_MAC), 0u);
        }
    }
}

TEST(SetupBuilds, V33WifiPageWritesTheChangedAntennaCode)
{
    BuildRig rig(33);
    rig.show(wifiRecord(0).u8(103, 2).u8(105, 1));  // only the oldest build writes these
    FakeSetupView& v = rig.view();
    ASSERT_TRUE(v.isEnabled(IDC_ANTENNA_BAUD));
    v.pick(IDC_ANTENNA_BAUD, 1);
    rig.page().onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 157u);
    EXPECT_EQ(p[85], 1);
    EXPECT_EQ(p[86], 0);
    EXPECT_EQ(p[88], 0);
}

TEST(SetupBuilds, V30WiredPagesAlwaysShowCheckAndWriteTheirAddresses)
{
    for (int model : {1, 2}) {
        SCOPED_TRACE(model);
        BuildRig rig(30);
        rig.show(wiredRecord(uint8_t(model), 0).u8(88, 1));  // the reader has DHCP on
        FakeSetupView& v = rig.view();
        EXPECT_EQ(v.addresses[IDC_IP], "192.168.1.195");
        EXPECT_EQ(v.addresses[IDC_GATEWAY], "192.168.1.1");
        EXPECT_TRUE(v.isEnabled(IDC_IP) && v.isEnabled(IDC_MASK) && v.isEnabled(IDC_GATEWAY));
        rig.page().onCommand(IDC_APPLY);
        const Bytes p = lastWritePayload(rig.port);
        ASSERT_EQ(p.size(), 93u);
        EXPECT_EQ(Bytes(p.begin() + 71, p.begin() + 84),
                  (Bytes{0, 0xC0, 0xA8, 0x01, 0xC3, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0xA8, 0x01, 0x01}));
        v.typeAddress(IDC_MASK, "");
        rig.page().onCommand(IDC_APPLY);
        EXPECT_EQ(v.boxTexts(), std::vector<std::string>{"IP格式不对"});
    }
}

TEST(SetupBuilds, V30MergeBoxShowsEditsAndWritesTheFlag)
{
    struct Case {
        const char* name;
        RecordBuilder record;
        size_t payloadSize;
    };
    const Case cases[] = {
        {"model 1", wiredRecord(modelWired, 0), 93},  // merge flag 1 at 105
        {"model 3", wifiRecord(0).u8(103, 2).u8(105, 1), 157},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildRig rig(30);
        rig.show(c.record);
        FakeSetupView& v = rig.view();
        EXPECT_TRUE(v.checked(IDC_ANTENNA_MERGE));
        EXPECT_TRUE(v.isEnabled(IDC_ANTENNA_MERGE) && v.isEnabled(IDC_MERGE_NOTE));
        rig.page().onCommand(IDC_APPLY);
        EXPECT_EQ(lastWritePayload(rig.port).at(88), 1);
        v.toggle(IDC_ANTENNA_MERGE);
        rig.page().onCommand(IDC_APPLY);
        const Bytes p = lastWritePayload(rig.port);
        ASSERT_EQ(p.size(), c.payloadSize);
        EXPECT_EQ(p[88], 0);

        rig.page().onCommand(IDC_PORT_BUTTON);  // close
        EXPECT_FALSE(v.isEnabled(IDC_ANTENNA_MERGE) || v.isEnabled(IDC_MERGE_NOTE));
        v.toggle(IDC_ANTENNA_MERGE);
        rig.page().onCommand(IDC_PORT_BUTTON);  // re-read
        EXPECT_FALSE(v.checked(IDC_ANTENNA_MERGE));
    }
}

TEST(SetupBuilds, V30WifiPageTwoAntennasAndItsOwnWifiRules)
{
    struct Case {
        const char* name;
        std::string ssid;      // typed, UTF-8
        std::string password;  // typed
        const char* message;
        std::string sent;      // the SSID field's bytes up to its zeros
    };
    const std::string chinese = "工厂网络";
    const Case cases[] = {
        {"Chinese SSID goes in the code page", chinese, "pw", nullptr, gbkOf(chinese)},
        {"31 characters", std::string(31, 's'), "pw", nullptr, std::string(31, 's')},
        {"longer is cut to 31 bytes, no message", std::string(40, 's'), "pw", nullptr,
         std::string(31, 's')},
        {"empty SSID", "", "pw", "WIFI名称不能为空", ""},
        {"empty WIFI password", "ap", "", "WIFI密码不能为空", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildRig rig(30);
        rig.show(wifiRecord(0).u8(103, 2).u8(105, 0));
        FakeSetupView& v = rig.view();
        EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), 3);
        EXPECT_EQ(v.selection(IDC_ANTENNA1_BAUD), 2);
        EXPECT_TRUE(v.isEnabled(IDC_ANTENNA_BAUD) && v.isEnabled(IDC_ANTENNA1_BAUD));
        v.type(IDC_SSID, c.ssid);
        v.type(IDC_WIFI_PASSWORD, c.password);
        const size_t writes = rig.port.writes.size();
        rig.page().onCommand(IDC_APPLY);
        if (c.message) {
            EXPECT_EQ(v.boxTexts(), std::vector<std::string>{c.message});
            EXPECT_EQ(rig.port.writes.size(), writes);
            continue;
        }
        EXPECT_TRUE(v.boxes.empty());
        const Bytes p = lastWritePayload(rig.port);
        ASSERT_EQ(p.size(), 157u);
        std::string sent = ssidOf(p);
        sent.resize(sent.find('\0') == std::string::npos ? sent.size() : sent.find('\0'));
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(p[85], 3);
        EXPECT_EQ(p[86], 2);
        EXPECT_EQ(p[88], 0);
    }
}

TEST(SetupBuilds, OlderBuildsSortTheirLists)
{
    struct Case {
        int build;
        std::vector<std::string> ports;
    };
    const Case cases[] = {
        {36, {"COM2", "COM3", "COM10", "COM21"}},
        {33, {"COM10", "COM2", "COM21", "COM3"}},
        {30, {"COM10", "COM2", "COM21", "COM3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.build);
        BuildRig rig(c.build);
        rig.port.probeMask = (1u << 1) | (1u << 2) | (1u << 9) | (1u << 20);
        rig.port.openable = {10, 3};
        rig.window.createDialog(IDD_PORT_CHOICE);
        EXPECT_EQ(rig.choiceView.itemsOf(IDC_PORT_LIST), c.ports);
        // Item 0 opens, whatever it names; the page lists the ports alike and
        // selects the item the reply came through.
        rig.show(recordFor(modelWired, 0));
        EXPECT_EQ(rig.port.opens.front(), c.build == 36 ? 2 : 10);
        EXPECT_EQ(rig.view().itemsOf(IDC_PORT_LIST), c.ports);
        // The connect-mode list keeps the wait mode as item 0.
        EXPECT_EQ(rig.view().itemsOf(IDC_CONNECT_MODE).at(0), "等待平台连接（默认）");
        EXPECT_EQ(rig.view().selection(IDC_CONNECT_MODE), 0);
    }
}
