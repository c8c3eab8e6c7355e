#include <gtest/gtest.h>

#include "console/detailsWindow.h"
#include "console/mainPanel.h"
#include "console/panelIds.h"
#include "tests/unit/fakeViews.h"

namespace {

const int kModeInputs[] = {IDC_PORT, IDC_DEVICE_NAME, IDC_DEVICE_PASSWORD};
const int kCallInputs[] = {IDC_CALL_SUBSTATION, IDC_CALL_TAG, IDC_LAMP_GREEN, IDC_LAMP_RED,
                           IDC_BUZZER};
const int kMessageInputs[] = {IDC_SMS_SUBSTATION, IDC_SMS_TAG, IDC_SMS_NUMBER, IDC_SMS_TEXT};

struct PanelFixture {
    FakePanelView view;
    FakeLink link;
    TagStore store;
    FixedClock clock;
    MainPanel panel;

    explicit PanelFixture(PanelFlavor flavor = PanelFlavor())
        : panel(view, link, store, systemTextCodec(), clock, flavor)
    {
        panel.onInit();
    }
    void start()
    {
        panel.onCommand(IDC_START);
        link.up = true;
    }
    void report(uint32_t id, int sub = 0, int8_t rssi = -30)
    {
        store.report(id, sub, 0, rssi, nullptr, 0);
    }
};

}  // namespace

TEST(MainPanel, InitialState)
{
    PanelFixture f;
    EXPECT_TRUE(f.view.checked(IDC_LAMP_GREEN));
    EXPECT_FALSE(f.view.checked(IDC_LAMP_RED));
    EXPECT_TRUE(f.view.checked(IDC_BUZZER));
    for (int id : kCallInputs)
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    for (int id : kMessageInputs)
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    for (int id : {IDC_CALL, IDC_SMS_SEND, IDC_DETAILS})
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    for (int id : kModeInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << id;
    EXPECT_EQ(f.view.text(IDC_CALL), "呼叫");
    EXPECT_EQ(f.view.text(IDC_PORT), "8800");  // the link's defaults
}

TEST(MainPanel, StartAndStopStates)
{
    PanelFixture f;
    f.report(1);  // cleared by the start
    f.panel.onCommand(IDC_START);
    ASSERT_TRUE(f.panel.serverStarted());
    EXPECT_EQ(f.store.count(), 0);
    EXPECT_EQ(f.view.text(IDC_START), "停止");
    EXPECT_EQ(f.view.text(IDC_CALL), "启动");
    EXPECT_EQ(f.view.text(IDC_STATUS), "未连接");
    EXPECT_EQ(f.view.text(IDC_TAG_COUNT), "0");
    EXPECT_EQ(f.view.text(IDC_DROPPED_COUNT), "0");
    EXPECT_EQ(f.view.timers[IDT_TICK], 1000);
    for (int id : kModeInputs)
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    for (int id : {IDC_CALL, IDC_SMS_SEND, IDC_DETAILS, IDC_CALL_TAG, IDC_SMS_TEXT})
        EXPECT_TRUE(f.view.isEnabled(id)) << id;

    f.link.up = true;
    f.report(10);
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.view.text(IDC_STATUS), "已连接");
    EXPECT_EQ(f.link.ticks, 1);

    f.panel.onCommand(IDC_START);  // stop: the grid stays, the status does not
    EXPECT_FALSE(f.panel.serverStarted());
    EXPECT_EQ(f.link.closes, 1);
    EXPECT_EQ(f.view.timers.count(IDT_TICK), 0u);
    EXPECT_EQ(f.view.text(IDC_STATUS), "未连接");
    EXPECT_EQ(f.view.text(IDC_START), "开始");
    EXPECT_EQ(f.view.cell(0, 2), "10");
    for (int id : kModeInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << id;
    for (int id : {IDC_CALL, IDC_SMS_SEND, IDC_DETAILS, IDC_CALL_TAG, IDC_SMS_TEXT})
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    f.panel.onTimer(IDT_TICK);  // a late timer message does nothing
    EXPECT_EQ(f.link.ticks, 1);
}

TEST(MainPanel, RefusedStartLeavesEverythingStopped)
{
    PanelFixture f;
    f.link.openResult = false;
    f.panel.onCommand(IDC_START);
    EXPECT_FALSE(f.panel.serverStarted());
    EXPECT_EQ(f.view.timers.count(IDT_TICK), 0u);
    for (int id : kModeInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << id;
    EXPECT_FALSE(f.view.isEnabled(IDC_CALL));
}

TEST(MainPanel, RowFormatting)
{
    struct Case {
        const char* name;
        RowSnapshot row;
        int index;
        const char* cells[gridColumns];
    };
    const Case cases[] = {
        {"plain", {10, 2, 0, {}, 1, false, -9, 3}, 0, {"1", "2", "10", "正常", "", "-9 / 3", "1"}},
        {"low voltage with extra data",
         {4000000000u, 33, 2 << 5 | 1, {0x0A, 0xFF}, 7, false, -21, 43},
         12,
         {"13", "33", "4000000000", "欠压", "0a ff", "-21 / 43", "7"}},
        {"seven extra bytes",
         {1, 0, 7 << 5, {1, 2, 3, 4, 5, 6, 0xAB}, 2, false, 0, 0},
         1,
         {"2", "0", "1", "正常", "01 02 03 04 05 06 ab", "0 / 0", "2"}},
        {"dropped", {5, 1, 0, {}, 0, true, 0, 0}, 4, {"5", "1", "5", "正常", "", "", "0"}},
    };
    for (const Case& c : cases) {
        std::string cells[gridColumns];
        formatRow(c.row, c.index, cells);
        for (int col = 0; col < gridColumns; ++col)
            EXPECT_EQ(cells[col], c.cells[col]) << c.name << " column " << col;
    }
}

TEST(MainPanel, GridPagesAndRedRows)
{
    PanelFixture f;
    f.start();
    for (uint32_t id = 1; id <= 25; ++id)
        f.report(id);
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.view.cell(0, 0), "1");
    EXPECT_EQ(f.view.cell(11, 0), "12");
    f.panel.onCommand(IDC_NEXT_PAGE);
    EXPECT_EQ(f.view.cell(0, 0), "13");
    f.panel.onCommand(IDC_NEXT_PAGE);
    EXPECT_EQ(f.view.cell(0, 0), "25");
    EXPECT_EQ(f.view.cell(1, 0), "");
    EXPECT_EQ(f.view.cell(11, 6), "");
    f.panel.onCommand(IDC_NEXT_PAGE);
    EXPECT_EQ(f.view.cell(0, 0), "25");
    f.panel.onCommand(IDC_PREV_PAGE);
    f.panel.onCommand(IDC_PREV_PAGE);
    f.panel.onCommand(IDC_PREV_PAGE);
    EXPECT_EQ(f.view.cell(0, 0), "1");
    EXPECT_EQ(f.view.text(IDC_TAG_COUNT), "25");

    for (int t = 0; t < 29; ++t)  // one tick already ran: this is the 30th
        f.panel.onTimer(IDT_TICK);
    for (int c = 0; c < gridColumns; ++c)
        EXPECT_TRUE(f.view.red[gridColumns + c]) << c;
    EXPECT_EQ(f.view.cell(0, 5), "");
    EXPECT_EQ(f.view.text(IDC_DROPPED_COUNT), "0");
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.view.text(IDC_DROPPED_COUNT), "25");
}

TEST(MainPanel, LampModes)
{
    const struct {
        bool green, red, buzzer;
        int mode;
    } cases[] = {{true, false, false, 0}, {true, false, true, 1},  {false, true, false, 2},
                 {false, true, true, 3},  {true, true, false, 4},  {true, true, true, 5},
                 {false, false, false, -1}, {false, false, true, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(lampModeFor(c.green, c.red, c.buzzer), c.mode);
}

TEST(MainPanel, CallRefusals)
{
    struct Case {
        const char* tag;
        const char* substation;
        bool green, red;
        const char* message;
        MessageStyle style;
    };
    const Case cases[] = {
        {"", "1", true, false, "请输入要呼叫的标签ID", MessageStyle::notice},
        {"100", "", true, false, "请输入分站号", MessageStyle::notice},
        {"100", "-1", true, false, "分站号不能小于0", MessageStyle::notice},
        {"100", "34", true, false, "分站号不能大于33", MessageStyle::notice},
        {"100", "1", false, false, "请选择一种灯模式", MessageStyle::information},
    };
    for (const Case& c : cases) {
        PanelFixture f;
        f.start();
        f.view.texts[IDC_CALL_TAG] = c.tag;
        f.view.texts[IDC_CALL_SUBSTATION] = c.substation;
        f.view.checks[IDC_LAMP_GREEN] = c.green;
        f.view.checks[IDC_LAMP_RED] = c.red;
        f.panel.onCommand(IDC_CALL);
        ASSERT_EQ(f.view.messages.size(), 1u) << c.message;
        EXPECT_EQ(f.view.messages[0].text, c.message);
        EXPECT_EQ(f.view.messages[0].style, c.style) << c.message;
        EXPECT_FALSE(f.panel.callActive());
        EXPECT_TRUE(f.link.calls.empty());
    }
}

TEST(MainPanel, CallRepeatsEveryTickUntilStopped)
{
    PanelFixture f;
    f.start();
    f.view.texts[IDC_CALL_TAG] = "100";
    f.view.texts[IDC_CALL_SUBSTATION] = "33";
    f.panel.onCommand(IDC_CALL);  // green + buzzer
    ASSERT_TRUE(f.panel.callActive());
    EXPECT_EQ(f.view.text(IDC_CALL), "停止");
    for (int id : kCallInputs)
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    f.view.texts[IDC_CALL_TAG] = "999";  // the kept values are sent
    f.panel.onTimer(IDT_TICK);
    f.panel.onTimer(IDT_TICK);
    f.panel.onCommand(IDC_CALL);
    f.panel.onTimer(IDT_TICK);
    ASSERT_EQ(f.link.calls.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.link.calls[i].tagId, 100u);
        EXPECT_EQ(f.link.calls[i].substation, 33);
        EXPECT_EQ(f.link.calls[i].action, 5);
        EXPECT_EQ(f.link.calls[i].mode, 1);
    }
    EXPECT_EQ(f.link.calls[3].action, 1);
    EXPECT_EQ(f.link.calls[3].mode, 0xFF);
    EXPECT_EQ(f.view.text(IDC_CALL), "启动");
    for (int id : kCallInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << id;
}

TEST(MainPanel, LegacyCallLocksOnlyTheTagIdAndKeepsItsStartValues)
{
    PanelFixture f(legacyPanelFlavor);
    EXPECT_EQ(f.view.text(IDC_CALL), "启动");
    for (int id : kCallInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << "stopped " << id;
    for (int id : kMessageInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << "stopped " << id;
    for (int id : {IDC_CALL, IDC_SMS_SEND, IDC_DETAILS})
        EXPECT_FALSE(f.view.isEnabled(id)) << "stopped " << id;

    f.start();
    f.view.texts[IDC_CALL_TAG] = "100";
    f.view.texts[IDC_CALL_SUBSTATION] = "1";
    f.panel.onCommand(IDC_CALL);  // green + buzzer: lampMode 1
    ASSERT_TRUE(f.panel.callActive());
    EXPECT_FALSE(f.view.isEnabled(IDC_CALL_TAG));
    for (int id : {IDC_CALL_SUBSTATION, IDC_LAMP_GREEN, IDC_LAMP_RED, IDC_BUZZER})
        EXPECT_TRUE(f.view.isEnabled(id)) << "calling " << id;

    // Edited while the call repeats: the repeated frames keep the start's values.
    f.view.texts[IDC_CALL_SUBSTATION] = "2";
    f.view.checks[IDC_LAMP_GREEN] = false;
    f.view.checks[IDC_LAMP_RED] = true;
    f.view.checks[IDC_BUZZER] = false;
    f.panel.onTimer(IDT_TICK);
    f.panel.onTimer(IDT_TICK);
    f.panel.onCommand(IDC_CALL);
    ASSERT_EQ(f.link.calls.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.link.calls[i].substation, 1) << i;
        EXPECT_EQ(f.link.calls[i].tagId, 100u) << i;
        EXPECT_EQ(f.link.calls[i].mode, 1) << i;
    }
    EXPECT_EQ(f.link.calls[3].substation, 1);
    EXPECT_EQ(f.link.calls[3].mode, 0xFF);
    EXPECT_TRUE(f.view.isEnabled(IDC_CALL_TAG));

    f.panel.onCommand(IDC_CALL);  // a new call takes the edited values
    EXPECT_EQ(f.link.calls.back().substation, 2);
    EXPECT_EQ(f.link.calls.back().mode, 2);
    f.panel.onCommand(IDC_START);  // stop: the inputs stay editable
    for (int id : kCallInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << "stopped again " << id;
    for (int id : kMessageInputs)
        EXPECT_TRUE(f.view.isEnabled(id)) << "stopped again " << id;
}

TEST(MainPanel, TickRefreshesBeforeTheConnectionTickAndCallsAfterIt)
{
    // The link drops during the connection tick: that tick's refresh ran
    // before it and still shows "已连接", the next one shows "未连接"; the
    // call repeat comes after it and finds the link down.
    PanelFixture f;
    f.start();
    f.view.texts[IDC_CALL_TAG] = "100";
    f.view.texts[IDC_CALL_SUBSTATION] = "1";
    f.panel.onCommand(IDC_CALL);
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.view.text(IDC_STATUS), "已连接");
    EXPECT_EQ(f.link.calls.size(), 2u);

    f.link.dropOnTick = true;
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.link.ticks, 2);
    EXPECT_EQ(f.view.text(IDC_STATUS), "已连接");
    EXPECT_EQ(f.link.calls.size(), 2u);
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.view.text(IDC_STATUS), "未连接");
}

TEST(MainPanel, CallStartedWhileDownReachesTheReaderOnceLinked)
{
    PanelFixture f;
    f.panel.onCommand(IDC_START);
    f.view.texts[IDC_CALL_TAG] = "7";
    f.view.texts[IDC_CALL_SUBSTATION] = "0";
    f.panel.onCommand(IDC_CALL);
    EXPECT_TRUE(f.panel.callActive());
    EXPECT_TRUE(f.link.calls.empty());
    f.link.up = true;
    f.panel.onTimer(IDT_TICK);
    EXPECT_EQ(f.link.calls.size(), 1u);
    f.panel.onCommand(IDC_START);  // stopping the server ends the call silently
    EXPECT_FALSE(f.panel.callActive());
    EXPECT_EQ(f.link.calls.size(), 1u);
}

TEST(MainPanel, ShortMessageRefusals)
{
    struct Case {
        const char *tag, *substation, *number, *message;
    };
    const Case cases[] = {
        {"", "1", "1", "请输入要接收短消息的标签ID"},
        {"5", "", "1", "请输入分站号"},
        {"5", "-3", "1", "分站号不能小于0"},
        {"5", "34", "1", "分站号不能大于33"},
        {"5", "1", "", "请输入短信编号"},
        {"5", "1", "-1", "短信编号不能小于0"},
        {"5", "1", "40001", "短信编号不能大于40000"},
    };
    for (const Case& c : cases) {
        PanelFixture f;
        f.start();
        f.view.texts[IDC_SMS_TAG] = c.tag;
        f.view.texts[IDC_SMS_SUBSTATION] = c.substation;
        f.view.texts[IDC_SMS_NUMBER] = c.number;
        f.panel.onCommand(IDC_SMS_SEND);
        ASSERT_EQ(f.view.messages.size(), 1u) << c.message;
        EXPECT_EQ(f.view.messages[0].text, c.message);
        EXPECT_EQ(f.view.messages[0].style, MessageStyle::notice);
        EXPECT_TRUE(f.link.messages.empty());
    }
}

TEST(MainPanel, ShortMessageTextAndTime)
{
    PanelFixture f;
    f.start();
    f.view.texts[IDC_SMS_TAG] = "4294967295";
    f.view.texts[IDC_SMS_SUBSTATION] = "33";
    f.view.texts[IDC_SMS_NUMBER] = "40000";
    // 54 Chinese characters (108 GBK bytes) and "ab": cut at 109 bytes, so
    // the last character kept is "a" and no character is split.
    std::string text;
    for (int i = 0; i < 54; ++i)
        text += "短";
    f.view.texts[IDC_SMS_TEXT] = text + "ab";
    f.panel.onCommand(IDC_SMS_SEND);
    ASSERT_EQ(f.link.messages.size(), 1u);
    const SmsFrame& sms = f.link.messages[0];
    EXPECT_EQ(sms.tagId, 4294967295u);
    EXPECT_EQ(sms.number, 40000);
    EXPECT_EQ(sms.gbkText.size(), 109u);
    EXPECT_EQ(sms.gbkText.back(), 'a');
    EXPECT_EQ(sms.time.year, 2026);
    EXPECT_TRUE(f.view.messages.empty());

    // 53 characters and "abc" would be 109 bytes too; an odd cut inside a
    // character drops the whole character instead.
    f.view.texts[IDC_SMS_TEXT] = "x" + text + "b";
    f.panel.onCommand(IDC_SMS_SEND);
    EXPECT_EQ(f.link.messages[1].gbkText.size(), 109u);
    f.view.texts[IDC_SMS_TEXT] = "xy" + text;
    f.panel.onCommand(IDC_SMS_SEND);
    EXPECT_EQ(f.link.messages[2].gbkText.size(), 108u);

    f.link.up = false;  // no reader: nothing sent and nothing shown
    f.panel.onCommand(IDC_SMS_SEND);
    EXPECT_EQ(f.link.messages.size(), 3u);
    EXPECT_TRUE(f.view.messages.empty());
}

TEST(DetailsWindow, ListsAnnouncedSubstations)
{
    SubstationTable subs;
    const uint8_t states[] = {0, 2, 1, 3, 9};
    for (int i = 0; i < 5; ++i)
        subs.setState(i, states[i]);
    for (int t = 0; t < 3725; ++t)
        subs.tick();
    class NullView : public DetailsView {
        void showRows(const std::vector<std::vector<std::string>>&) override {}
    } view;
    const auto rows = DetailsWindow(view, subs, true).rows();
    const std::vector<std::vector<std::string>> expected = {
        {"1", "0", "正常", "01:02:05"},
        {"2", "2", "天线未连接", "00:00:00"},
        {"3", "3", "正常，但读卡器拥堵", "01:02:05"},
        {"4", "4", "其他故障", "00:00:00"},
    };
    EXPECT_EQ(rows, expected);
    const auto threeColumns = DetailsWindow(view, subs, false).rows();
    EXPECT_EQ(threeColumns[0], (std::vector<std::string>{"1", "0", "正常"}));

    SubstationTable none;
    EXPECT_TRUE(DetailsWindow(view, none, true).rows().empty());
    SubstationTable longRun;
    longRun.setState(7, 0);
    for (int t = 0; t < 100 * 3600; ++t)
        longRun.tick();
    EXPECT_EQ(DetailsWindow(view, longRun, true).rows()[0][3], "100:00:00");
}
