// The legacy settings tool's dialog over the recording fakes: what opening,
// the parse on the tenth tick, a reply, "应用" and closing do to the controls
// and the port, tick by tick.
#include <gtest/gtest.h>

#include <functional>

#include "r7a-setup/r7aSetupDialog.h"
#include "r7a-setup/resource.h"
#include "r7aBytes.h"
#include "setupFakes.h"

namespace {

struct ShownBox {
    std::string text;
    std::string caption;
    bool operator==(const ShownBox& o) const { return text == o.text && caption == o.caption; }
};

class RecordingBox : public PlainMessageBox {
public:
    void show(const std::string& utf8, const std::string& caption) override
    {
        shown.push_back({utf8, caption});
        if (whileOpen)
            whileOpen();  // what the user does while the box is up
    }
    std::vector<ShownBox> shown;
    std::function<void()> whileOpen;
};

struct R7aRig {
    FakeSetupView view;
    FakeComPort port;
    R7aReceiveBuffer incoming;
    RecordingBox box;
    R7aSetupDialog dialog{view, port, incoming, box, systemTextCodec()};

    R7aRig() { dialog.onInit(); }
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            dialog.onTimer(IDT_R7A_PARSE);
    }
    void parse() { tick(r7aTicksPerParse); }
    void arrive(const Bytes& b) { incoming.append(b.data(), b.size()); }
    void open(int item = 0)
    {
        view.pick(IDC_R7A_PORT_LIST, item);
        dialog.onCommand(IDC_R7A_PORT_BUTTON);
    }
    void load(const Bytes& reply)
    {
        arrive(reply);
        parse();
    }
    Bytes lastWrite() const { return port.writes.empty() ? Bytes() : port.writes.back(); }
};

const int kBaudLists[] = {IDC_R7A_RS485_BAUD, IDC_R7A_ANTENNA0_BAUD, IDC_R7A_ANTENNA1_BAUD};

}  // namespace

TEST(R7aSetupDialog, StartFillsTheListsAndLocksApply)
{
    R7aRig rig;
    EXPECT_EQ(rig.view.itemsOf(IDC_R7A_PORT_LIST), (std::vector<std::string>{"COM1", "COM5"}));
    EXPECT_EQ(rig.view.selection(IDC_R7A_PORT_LIST), 0);
    for (int list : kBaudLists) {
        EXPECT_EQ(rig.view.itemsOf(list),
                  (std::vector<std::string>{"9600", "19200", "38400", "57600", "115200"}));
        EXPECT_EQ(rig.view.selection(list), -1);
    }
    EXPECT_FALSE(rig.view.isEnabled(IDC_R7A_APPLY));
}

TEST(R7aSetupDialog, OpenSendsTheReadRequestAndStartsTheTimer)
{
    R7aRig rig;
    rig.open(1);
    EXPECT_EQ(rig.port.current, 5);
    EXPECT_EQ(rig.port.writes, std::vector<Bytes>{hexBytes("51564E52 01 01 01 B0 00 00")});
    EXPECT_EQ(rig.view.timers[IDT_R7A_PARSE], 10);
    EXPECT_EQ(rig.view.text(IDC_R7A_PORT_BUTTON), "关闭串口");
    EXPECT_TRUE(rig.view.isEnabled(IDC_R7A_PORT_LIST));
    EXPECT_FALSE(rig.view.isEnabled(IDC_R7A_APPLY));
}

TEST(R7aSetupDialog, FailedOpenChangesNothingAndShowsNothing)
{
    R7aRig rig;
    rig.port.openable.clear();
    rig.view.calls.clear();
    rig.open();
    EXPECT_TRUE(rig.view.calls.empty());
    EXPECT_TRUE(rig.port.writes.empty());
    EXPECT_TRUE(rig.box.shown.empty());
    EXPECT_FALSE(rig.dialog.portOpen());
}

TEST(R7aSetupDialog, TheReplyIsParsedAtTheTenthTickOnly)
{
    R7aRig rig;
    rig.open();
    const Bytes reply = r7aReply(59);
    rig.arrive(head_of(reply, 30));
    rig.tick(9);
    rig.arrive(Bytes(reply.begin() + 30, reply.end()));  // the rest, within the window
    EXPECT_FALSE(rig.dialog.loaded());
    rig.tick();
    EXPECT_TRUE(rig.dialog.loaded());
    EXPECT_TRUE(rig.view.isEnabled(IDC_R7A_APPLY));
}

TEST(R7aSetupDialog, AReplyStraddlingAParseIsShownAtTheNextOne)
{
    R7aRig rig;
    rig.open();
    const Bytes reply = r7aReply(59);
    rig.arrive(Bytes(reply.begin(), reply.begin() + 40));
    rig.parse();
    EXPECT_FALSE(rig.dialog.loaded());
    rig.arrive(Bytes(reply.begin() + 40, reply.end()));
    rig.parse();
    EXPECT_TRUE(rig.dialog.loaded());
}

TEST(R7aSetupDialog, ReplyFillsTheWindow)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    EXPECT_EQ(rig.view.selection(IDC_R7A_RS485_BAUD), 0);
    EXPECT_EQ(rig.view.selection(IDC_R7A_ANTENNA0_BAUD), 1);
    EXPECT_EQ(rig.view.selection(IDC_R7A_ANTENNA1_BAUD), 2);
    EXPECT_EQ(rig.view.address(IDC_R7A_IP), "192.168.1.195");
    EXPECT_EQ(rig.view.address(IDC_R7A_MASK), "255.255.255.0");
    EXPECT_EQ(rig.view.address(IDC_R7A_GATEWAY), "192.168.1.1");
    EXPECT_EQ(rig.view.text(IDC_R7A_VERSION), "R7A-V1.7");
    EXPECT_EQ(rig.view.text(IDC_R7A_THRESHOLD), "-80");
    EXPECT_TRUE(rig.view.checked(IDC_R7A_ANT1_AS_ANT0));
}

TEST(R7aSetupDialog, VersionTextTravelsInGbk)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59, gbkOf("R7A-V1.7 固件")));
    EXPECT_EQ(rig.view.text(IDC_R7A_VERSION), "R7A-V1.7 固件");
}

struct SizeCase {
    size_t size;
    std::string threshold;  // text of 1022 afterwards (empty at the first load)
    bool checked;
    Bytes writtenTail;      // threshold and flag bytes of the write that follows
};

class R7aDialogSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(R7aDialogSizes, ThresholdAndFlagOnlyWhereTheReplyHasThem)
{
    const SizeCase c = GetParam();
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(c.size));
    EXPECT_EQ(rig.view.text(IDC_R7A_THRESHOLD), c.threshold);
    EXPECT_EQ(rig.view.checked(IDC_R7A_ANT1_AS_ANT0), c.checked);
    rig.dialog.onCommand(IDC_R7A_APPLY);
    const Bytes w = rig.lastWrite();
    ASSERT_EQ(w.size(), 27u);
    EXPECT_EQ(Bytes(w.begin() + 25, w.end()), c.writtenTail);
}

INSTANTIATE_TEST_SUITE_P(Sizes, R7aDialogSizes,
                         testing::Values(SizeCase{57, "", false, {0x00, 0x00}},
                                         SizeCase{58, "-80", false, {0xB0, 0x00}},
                                         SizeCase{59, "-80", true, {0xB0, 0x01}}));

TEST(R7aSetupDialog, ShorterReplyKeepsThresholdAndFlagOfTheEarlierOne)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    rig.load(r7aReply(57));
    EXPECT_EQ(rig.view.text(IDC_R7A_THRESHOLD), "-80");
    EXPECT_TRUE(rig.view.checked(IDC_R7A_ANT1_AS_ANT0));
}

TEST(R7aSetupDialog, AnyNonZeroFlagChecksTheBoxAndIsWrittenAsOne)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59, "R7A", 0x80));
    EXPECT_TRUE(rig.view.checked(IDC_R7A_ANT1_AS_ANT0));
    rig.dialog.onCommand(IDC_R7A_APPLY);
    EXPECT_EQ(rig.lastWrite().back(), 0x01);
    rig.load(r7aReply(59, "R7A", 0));
    EXPECT_FALSE(rig.view.checked(IDC_R7A_ANT1_AS_ANT0));
}

TEST(R7aSetupDialog, ApplyWritesTheWorkedExample)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    rig.dialog.onCommand(IDC_R7A_APPLY);
    EXPECT_EQ(rig.lastWrite(), exampleWrite());
}

TEST(R7aSetupDialog, ApplyWritesWhatWasEdited)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    rig.view.pick(IDC_R7A_RS485_BAUD, 4);
    rig.view.typeAddress(IDC_R7A_IP, "10.0.0.7");
    rig.view.typeAddress(IDC_R7A_GATEWAY, "");  // a blank control goes out as 0.0.0.0
    rig.view.type(IDC_R7A_THRESHOLD, "-60");
    rig.view.toggle(IDC_R7A_ANT1_AS_ANT0);
    rig.dialog.onCommand(IDC_R7A_APPLY);
    EXPECT_EQ(rig.lastWrite(),
              r7aFrameOf(0x03, hexBytes("04 01 02 07 00 00 0A 00 FF FF FF 00 00 00 00 C4 00")));
}

TEST(R7aSetupDialog, BaudCodeAboveFourSelectsNothingAndIsWrittenAsFF)
{
    R7aRig rig;
    rig.open();
    Bytes payload = r7aReplyPayload(59);
    payload[1] = 5;
    rig.load(r7aFrameOf(0x02, payload));
    EXPECT_EQ(rig.view.selection(IDC_R7A_ANTENNA0_BAUD), -1);
    rig.dialog.onCommand(IDC_R7A_APPLY);
    EXPECT_EQ(rig.lastWrite()[11], 0xFF);
}

struct ThresholdCase {
    const char* text;
    uint8_t byte;
};

class R7aThresholdText : public testing::TestWithParam<ThresholdCase> {};

TEST_P(R7aThresholdText, DecimalLowByte)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(57));
    rig.view.type(IDC_R7A_THRESHOLD, GetParam().text);
    rig.dialog.onCommand(IDC_R7A_APPLY);
    EXPECT_EQ(rig.lastWrite()[25], GetParam().byte) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, R7aThresholdText,
                         testing::Values(ThresholdCase{"-80", 0xB0}, ThresholdCase{"  -5x", 0xFB},
                                         ThresholdCase{"", 0x00}, ThresholdCase{"abc", 0x00},
                                         ThresholdCase{"300", 0x2C},  // no range test: low byte
                                         // only 11 characters are read
                                         ThresholdCase{"-000000000080", 0x00},
                                         ThresholdCase{"-0000000080", 0xB0}));

TEST(R7aSetupDialog, FramesThatAreNotRepliesChangeNothing)
{
    const Bytes record = r7aReplyPayload(57);
    const Bytes tooShort = r7aFrameOf(0x02, Bytes(record.begin(), record.end() - 1));
    Bytes badCrc = r7aReply(59);
    badCrc[6] ^= 0x01;
    for (const Bytes& frame : {tooShort, badCrc, r7aFrameOf(0x05, r7aReplyPayload(59))}) {
        R7aRig rig;
        rig.open();
        rig.load(frame);
        EXPECT_FALSE(rig.view.isEnabled(IDC_R7A_APPLY));
        EXPECT_EQ(rig.view.address(IDC_R7A_IP), "");
        EXPECT_TRUE(rig.box.shown.empty());
    }
}

TEST(R7aSetupDialog, AcknowledgementShowsItsMessage)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    rig.dialog.onCommand(IDC_R7A_APPLY);
    rig.load(r7aFrameOf(0x04, {}));
    EXPECT_EQ(rig.box.shown, (std::vector<ShownBox>{{"参数设定成功！", "标题"}}));
    EXPECT_TRUE(rig.dialog.loaded());  // a write changes no state
}

TEST(R7aSetupDialog, TicksDuringTheMessageBoxDoNotParseAgain)
{
    R7aRig rig;
    rig.open();
    rig.box.whileOpen = [&] {
        rig.arrive(r7aFrameOf(0x04, {}));
        rig.tick(30);  // the box's modal loop delivers the timer
    };
    rig.load(r7aFrameOf(0x04, {}));
    EXPECT_EQ(rig.box.shown.size(), 1u);
    rig.box.whileOpen = nullptr;
    rig.parse();  // the bytes that came meanwhile are parsed afterwards
    EXPECT_EQ(rig.box.shown.size(), 2u);
}

TEST(R7aSetupDialog, ClosingWhileTheBoxIsUpDropsTheRest)
{
    R7aRig rig;
    rig.open();
    rig.box.whileOpen = [&] { rig.dialog.onCommand(IDC_R7A_PORT_BUTTON); };
    const Bytes ack = r7aFrameOf(0x04, {});
    rig.load(cat_of(ack, r7aReply(59)));
    EXPECT_EQ(rig.box.shown.size(), 1u);
    EXPECT_FALSE(rig.dialog.portOpen());
    EXPECT_FALSE(rig.dialog.loaded());
    EXPECT_EQ(rig.view.address(IDC_R7A_IP), "");
}

TEST(R7aSetupDialog, CloseEmptiesTheFieldsButKeepsThresholdAndFlag)
{
    R7aRig rig;
    rig.open();
    rig.load(r7aReply(59));
    rig.dialog.onCommand(IDC_R7A_PORT_BUTTON);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_FALSE(rig.view.isEnabled(IDC_R7A_APPLY));
    EXPECT_EQ(rig.view.text(IDC_R7A_VERSION), "");
    for (int id : {IDC_R7A_IP, IDC_R7A_MASK, IDC_R7A_GATEWAY})
        EXPECT_EQ(rig.view.address(id), "");
    for (int list : kBaudLists)
        EXPECT_EQ(rig.view.selection(list), -1);
    EXPECT_FALSE(rig.view.timerRunning(IDT_R7A_PARSE));
    EXPECT_EQ(rig.view.text(IDC_R7A_PORT_BUTTON), "打开串口");
    EXPECT_EQ(rig.view.text(IDC_R7A_THRESHOLD), "-80");
    EXPECT_TRUE(rig.view.checked(IDC_R7A_ANT1_AS_ANT0));
}

TEST(R7aSetupDialog, BytesOfAnEarlierSessionDoNotSpoilTheNextReply)
{
    R7aRig rig;
    rig.open();
    rig.tick(5);
    rig.arrive(hexBytes("51564E52 01 02 00"));  // came just before the close
    rig.dialog.onCommand(IDC_R7A_PORT_BUTTON);
    rig.open();
    rig.load(r7aReply(58));
    EXPECT_TRUE(rig.dialog.loaded());
}

TEST(R7aSetupDialog, TwoRepliesInOneParseBothCount)
{
    R7aRig rig;
    rig.open();
    rig.load(cat_of(r7aReply(58), r7aFrameOf(0x04, {})));
    EXPECT_TRUE(rig.dialog.loaded());
    EXPECT_EQ(rig.box.shown.size(), 1u);
}
