// The signal filter tool's dialog over recording fakes: the bytes of every
// request, the replies it takes and the ones it drops, the apply checks and
// the reply countdown, tick by tick.
#include "../setup/setupFakes.h"
#include "rssifilter/rssiFilter.h"

namespace {

// The dialog's identifiers, as the tool's resources give them. The
// configuration tool's resource header (pulled in by its fakes) uses the
// same macro names for its own dialogs, so they are spelt out here.
constexpr int kPortButton = 1014;
constexpr int kPortList = 1020;
constexpr int kThreshold = 1024;
constexpr int kVersion = 1066;
constexpr int kApply = 1067;
constexpr int kReplyTimer = 1;

const char kTimeout[] = "不能和设备正常通信，请检查设备是否上电";

Bytes frameBytes(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

const Bytes kRssiRead = frameBytes({'Q', 'V', 'N', 'R', 0x00, 0x07, 0xB0, 0x01, 0x00, 0x00});

// A parameter record whose version text heads it.
Bytes recordWith(const std::string& version)
{
    Bytes p(116, 0);
    std::copy(version.begin(), version.end(), p.begin());
    return p;
}

struct Rig {
    FakeComPort port;
    FakeSetupView view;
    RssiFilterDialog dialog{port, view, systemTextCodec()};

    Rig() { dialog.onInit(); }
    void feed(const Bytes& frame) { dialog.onFrame(frame.data(), frame.size()); }
    void click(int id) { dialog.onCommand(id); }
    void tick() { dialog.onTimer(kReplyTimer); }
    // Port open, record and threshold read: the Ready state.
    void ready(uint8_t threshold = 0xCE)
    {
        click(kPortButton);
        feed(replyFrame(3, configCmdParamReply, recordWith("V2.14-230612")));
        feed(replyFrame(3, configCmdRssiReply, {threshold}));
        port.writes.clear();
    }
    void apply(const std::string& text)
    {
        view.type(kThreshold, text);
        click(kApply);
    }
    bool closedAfterUse() const
    {
        return !dialog.portOpen() && view.text(kPortButton) == "打开串口" &&
               view.isEnabled(kPortList) && !view.isEnabled(kThreshold) &&
               !view.isEnabled(kApply) && !view.timerRunning(kReplyTimer);
    }
};

TEST(RssiRequests, AreByteExact)
{
    struct Case {
        const char* what;
        void (*send)(SerialWriter&);
        Bytes bytes;
    };
    const Case cases[] = {
        {"read threshold", [](SerialWriter& w) { sendRssiReadRequest(w); }, kRssiRead},
        {"write -50", [](SerialWriter& w) { sendRssiWriteRequest(w, -50); },
         frameBytes({'Q', 'V', 'N', 'R', 0x00, 0x09, 0xC4, 0xF1, 0x00, 0x01, 0xCE})},
        {"write 0", [](SerialWriter& w) { sendRssiWriteRequest(w, 0); },
         frameBytes({'Q', 'V', 'N', 'R', 0x00, 0x09, 0x50, 0x70, 0x00, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        FakeComPort port;
        port.openComPort(1);
        c.send(port);
        ASSERT_EQ(port.writes.size(), 1u) << c.what;
        EXPECT_EQ(port.writes[0], c.bytes) << c.what;
    }
}

TEST(RssiDialog, StartsClosedWithTheProbedPorts)
{
    Rig rig;
    EXPECT_EQ(rig.view.itemsOf(kPortList), (std::vector<std::string>{"COM1", "COM5"}));
    EXPECT_EQ(rig.view.text(kPortList), "COM1");
    EXPECT_FALSE(rig.view.isEnabled(kThreshold));
    EXPECT_TRUE(rig.view.isEnabled(kApply));
    EXPECT_FALSE(rig.view.timerRunning(kReplyTimer));
}

TEST(RssiDialog, OpenReadsRecordThenThreshold)
{
    Rig rig;
    rig.view.setText(kVersion, "old");
    rig.click(kPortButton);
    EXPECT_EQ(rig.port.current, 1);
    EXPECT_EQ(rig.view.text(kVersion), "");
    EXPECT_EQ(rig.view.text(kPortButton), "关闭串口");
    EXPECT_FALSE(rig.view.isEnabled(kPortList));
    EXPECT_EQ(rig.view.timers[kReplyTimer], 1000);
    EXPECT_EQ(rig.port.writes, std::vector<Bytes>{readRequestBytes()});

    // The level byte is not looked at.
    rig.feed(replyFrame(0, configCmdParamReply, recordWith("V3.1-rssi")));
    EXPECT_EQ(rig.view.text(kVersion), "V3.1-rssi");
    EXPECT_EQ(rig.port.writes.back(), kRssiRead);
    EXPECT_EQ(rig.dialog.replyCountdown(), 3);

    rig.feed(replyFrame(3, configCmdRssiReply, {0xCE}));
    EXPECT_EQ(rig.view.text(kThreshold), "-50");
    EXPECT_TRUE(rig.view.isEnabled(kThreshold));
    EXPECT_TRUE(rig.view.isEnabled(kApply));
    EXPECT_EQ(rig.dialog.replyCountdown(), 0);
    EXPECT_TRUE(rig.view.boxes.empty());
}

TEST(RssiDialog, ThresholdByteShowsSigned)
{
    const std::pair<uint8_t, const char*> cases[] = {
        {0x00, "0"}, {0x7F, "127"}, {0x80, "-128"}, {0x81, "-127"}, {0xFF, "-1"}};
    for (const auto& [byte, shown] : cases) {
        Rig rig;
        rig.ready(byte);
        EXPECT_EQ(rig.view.text(kThreshold), shown) << int(byte);
    }
}

TEST(RssiDialog, VersionTextIsBoundedAndDecoded)
{
    struct Case {
        Bytes payload;
        std::string shown;
    };
    const Case cases[] = {
        // No zero byte: the 16-byte version field bounds the text.
        {Bytes(40, 'A'), std::string(16, 'A')},
        // A short payload: its own length bounds it.
        {Bytes{'V', '1'}, "V1"},
        {Bytes{}, ""},
        // Code page 936 on the wire.
        {recordWith(gbkOf("版本2")), "版本2"},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.click(kPortButton);
        rig.feed(replyFrame(3, configCmdParamReply, c.payload));
        EXPECT_EQ(rig.view.text(kVersion), c.shown);
        EXPECT_EQ(rig.port.writes.back(), kRssiRead);
    }
}

// Every apply from the Ready state: the message it shows, or the byte it writes.
TEST(RssiDialog, ApplyChecksTheText)
{
    struct Case {
        const char* text;
        const char* message;  // null: written
        uint8_t byte;
    };
    const Case cases[] = {
        {"", "RSSI值不能为空", 0},
        {"0", nullptr, 0x00},
        {"-0", nullptr, 0x00},
        {"-50", nullptr, 0xCE},
        {"-127", nullptr, 0x81},
        {"-0000000000000000000000000000000000000050", nullptr, 0xCE},
        {"-128", "数值范围不对", 0},
        {"1", "数值范围不对", 0},
        {"99999999999999999999999", "数值范围不对", 0},
        {"-99999999999999999999999", "数值范围不对", 0},
        {"-", nullptr, 0x00},  // no digits read as 0
        {"+5", "输入格式不对", 0},
        {" -5", "输入格式不对", 0},
        {"5-", "输入格式不对", 0},
        {"--5", "输入格式不对", 0},
        {"1.5", "输入格式不对", 0},
        {"-5 ", "输入格式不对", 0},
        {"０", "输入格式不对", 0},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.ready();
        rig.apply(c.text);
        if (c.message) {
            ASSERT_EQ(rig.view.boxes.size(), 1u) << c.text;
            EXPECT_EQ(rig.view.boxes[0].text, c.message) << c.text;
            EXPECT_EQ(rig.view.boxes[0].kind, BoxKind::information) << c.text;
            EXPECT_TRUE(rig.port.writes.empty()) << c.text;
            EXPECT_EQ(rig.dialog.replyCountdown(), 0) << c.text;
        } else {
            EXPECT_TRUE(rig.view.boxes.empty()) << c.text;
            ASSERT_EQ(rig.port.writes.size(), 1u) << c.text;
            EXPECT_EQ(rig.port.writes[0], replyFrame(0, configCmdRssiWrite, {c.byte})) << c.text;
            EXPECT_EQ(rig.dialog.replyCountdown(), 3) << c.text;
        }
    }
}

TEST(RssiDialog, EitherAcknowledgementReportsSuccess)
{
    for (uint8_t ack : {configCmdRssiWriteAck, configCmdWriteAck}) {
        Rig rig;
        rig.ready();
        rig.apply("-60");
        rig.tick();
        rig.feed(replyFrame(3, ack, {}));
        ASSERT_EQ(rig.view.boxes.size(), 1u) << int(ack);
        EXPECT_EQ(rig.view.boxes[0].text, "配置成功");
        EXPECT_EQ(rig.view.boxes[0].kind, BoxKind::notice);
        // Nothing is awaited any more: the ticks that follow stay quiet.
        for (int i = 0; i < 5; ++i)
            rig.tick();
        EXPECT_EQ(rig.view.boxes.size(), 1u);
        EXPECT_TRUE(rig.dialog.portOpen());
        // A second acknowledgement answers no write.
        rig.feed(replyFrame(3, ack, {}));
        EXPECT_EQ(rig.view.boxes.size(), 1u);
    }
}

TEST(RssiCountdown, SilentReaderTimesOutOnTheThirdTick)
{
    Rig rig;
    rig.click(kPortButton);
    rig.tick();
    rig.tick();
    EXPECT_TRUE(rig.view.boxes.empty());
    EXPECT_TRUE(rig.dialog.portOpen());
    rig.tick();
    EXPECT_EQ(rig.view.boxTexts(), std::vector<std::string>{kTimeout});
    EXPECT_EQ(rig.view.boxes[0].kind, BoxKind::information);
    EXPECT_TRUE(rig.closedAfterUse());
    EXPECT_EQ(rig.port.current, 0);
}

// The frames that must not stop the countdown of a reader that answers the
// record but never the threshold.
TEST(RssiCountdown, OnlyTheThresholdReplyEndsTheOpeningWait)
{
    Bytes badCrc = replyFrame(3, configCmdRssiReply, {0xCE});
    badCrc[7] ^= 0xFF;
    const Bytes noise[] = {
        badCrc,
        replyFrame(3, configCmdRssiReply, {}),  // no threshold byte
        replyFrame(3, configCmdRssiWriteAck, {}),  // no write was sent
        replyFrame(3, configCmdWriteAck, {}),
        replyFrame(3, configCmdRssiRead, {}),
        replyFrame(3, 0x55, {0x01}),
    };
    for (const Bytes& frame : noise) {
        Rig rig;
        rig.click(kPortButton);
        rig.feed(replyFrame(3, configCmdParamReply, recordWith("V1")));
        rig.tick();
        rig.feed(frame);
        rig.tick();
        EXPECT_TRUE(rig.view.boxes.empty());
        EXPECT_FALSE(rig.view.isEnabled(kThreshold));
        rig.tick();
        EXPECT_EQ(rig.view.boxTexts(), std::vector<std::string>{kTimeout});
        EXPECT_TRUE(rig.closedAfterUse());
    }
}

TEST(RssiCountdown, UnansweredWriteTimesOut)
{
    Rig rig;
    rig.ready();
    rig.apply("-70");
    rig.tick();
    rig.tick();
    EXPECT_TRUE(rig.view.boxes.empty());
    rig.tick();
    EXPECT_EQ(rig.view.boxTexts(), std::vector<std::string>{kTimeout});
    EXPECT_TRUE(rig.closedAfterUse());
    EXPECT_EQ(rig.view.text(kThreshold), "-70");  // the texts stay
}

// A threshold reply while a write waits is the late answer of a read: the
// write still ends in its acknowledgement or its time-out, and the value
// being written stays.
TEST(RssiCountdown, ALateThresholdWhileAWriteWaitsIsNotItsAnswer)
{
    for (bool ackComes : {true, false}) {
        SCOPED_TRACE(ackComes);
        Rig rig;
        rig.ready(0xCE);
        rig.apply("-70");
        rig.tick();
        rig.feed(replyFrame(3, configCmdRssiReply, {0xCE}));
        EXPECT_EQ(rig.dialog.replyCountdown(), 2);
        EXPECT_EQ(rig.view.text(kThreshold), "-70");
        if (ackComes) {
            rig.feed(replyFrame(3, configCmdRssiWriteAck, {}));
            EXPECT_EQ(rig.view.boxTexts(), std::vector<std::string>{"配置成功"});
        } else {
            rig.tick();
            rig.tick();
            EXPECT_EQ(rig.view.boxTexts(), std::vector<std::string>{kTimeout});
            EXPECT_TRUE(rig.closedAfterUse());
        }
    }
}

TEST(RssiDialog, CloseKeepsTextsAndDropsLaterReplies)
{
    Rig rig;
    rig.ready(0xCE);
    rig.click(kPortButton);
    EXPECT_TRUE(rig.closedAfterUse());
    EXPECT_EQ(rig.view.text(kVersion), "V2.14-230612");
    EXPECT_EQ(rig.view.text(kThreshold), "-50");
    // Bytes the cutter still held when the port closed.
    rig.feed(replyFrame(3, configCmdRssiReply, {0x00}));
    rig.feed(replyFrame(3, configCmdRssiWriteAck, {}));
    EXPECT_EQ(rig.view.text(kThreshold), "-50");
    EXPECT_TRUE(rig.closedAfterUse());
    EXPECT_TRUE(rig.view.boxes.empty());

    // Opening again starts afresh.
    rig.click(kPortButton);
    EXPECT_EQ(rig.view.text(kVersion), "");
    EXPECT_EQ(rig.dialog.replyCountdown(), 3);
}

TEST(RssiDialog, PortThatCannotBeOpened)
{
    struct Case {
        uint32_t mask;
        std::set<int> openable;
    };
    const Case cases[] = {
        {0, {}},           // no port at all: the list is empty
        {1u << 0, {}},     // COM1 listed, taken meanwhile
    };
    for (const Case& c : cases) {
        FakeComPort port;
        port.probeMask = c.mask;
        port.openable = c.openable;
        FakeSetupView view;
        RssiFilterDialog dialog(port, view, systemTextCodec());
        dialog.onInit();
        dialog.onCommand(kPortButton);
        EXPECT_EQ(view.boxTexts(), std::vector<std::string>{"打开串口失败"});
        EXPECT_EQ(view.boxes[0].kind, BoxKind::information);
        EXPECT_FALSE(dialog.portOpen());
        EXPECT_EQ(view.text(kPortButton), "");
        EXPECT_TRUE(view.isEnabled(kPortList));
    }
}

}  // namespace
