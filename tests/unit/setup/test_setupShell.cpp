// The configuration tool's shell: start geometry, the port-choice dialog,
// the reply countdown driven tick by tick, the refusal of level 0, silence
// on unknown models, the rise and growth of every model page, the refresh
// of a showing page by a later reply, and the write acknowledgement.
#include <gtest/gtest.h>

#include "setupRig.h"

TEST(SetupShellGeometry, StartsAt550By180AndIsCentred)
{
    const WindowRect start = SetupShell::startRect();
    EXPECT_EQ(start.left, 550);
    EXPECT_EQ(start.top, 180);
    EXPECT_EQ(start.width, 582);
    EXPECT_EQ(start.height, 190);
    const WindowRect c = SetupShell::centred(start, 1920, 1080);
    EXPECT_EQ(c.left, (1920 - 582) / 2);
    EXPECT_EQ(c.top, (1080 - 190) / 2);
    EXPECT_EQ(c.width, 582);
    EXPECT_EQ(c.height, 190);
    // A screen smaller than the window puts it partly off the left and top.
    const WindowRect small = SetupShell::centred(start, 500, 100);
    EXPECT_EQ(small.left, -41);
    EXPECT_EQ(small.top, -45);
}

TEST(PortChoiceDialog, OffersTheProbedPortsAndSelectsTheFirst)
{
    SetupRig rig;
    EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.shell.currentPage(), &rig.choice);
    EXPECT_EQ(rig.choiceView.itemsOf(IDC_PORT_LIST), std::vector<std::string>({"COM1", "COM5"}));
    EXPECT_EQ(rig.choiceView.selection(IDC_PORT_LIST), 0);
    EXPECT_EQ(rig.port.current, 0);
}

TEST(PortChoiceDialog, OpenSendsTheReadRequestAndArmsTheCountdown)
{
    SetupRig rig;
    rig.choiceView.pick(IDC_PORT_LIST, 1);
    rig.choice.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.port.opens, std::vector<int>({5}));
    EXPECT_EQ(rig.port.current, 5);
    ASSERT_EQ(rig.port.writes.size(), 1u);
    EXPECT_EQ(rig.port.writes[0], readRequestBytes());
    EXPECT_EQ(rig.shell.replyCountdown(), 3);
    EXPECT_EQ(rig.choiceView.timers.at(IDT_REPLY), 1000);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "关闭串口");
    EXPECT_FALSE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    EXPECT_TRUE(rig.choice.portOpen());

    // Pressed again: closed, back to the start.
    rig.choice.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_FALSE(rig.choiceView.timerRunning(IDT_REPLY));
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(rig.choice.portOpen());
}

TEST(PortChoiceDialog, OpenFailureAndAnEmptyListShowOpenFailed)
{
    struct Case {
        const char* name;
        uint32_t mask;
        std::set<int> openable;
        std::vector<int> opens;  // port numbers tried
    };
    const Case cases[] = {
        {"port refuses", 1u, {}, {1}},
        {"no port at all", 0u, {}, {}},  // the empty item text names no port
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeComPort port;
        port.probeMask = c.mask;
        port.openable = c.openable;
        FakeSetupWindow window;
        SetupShell shell(port, window, setupPagesV36);
        FakeSetupView view;
        PortChoiceDialog choice(shell, view);
        window.shell = &shell;
        window.add(choice, view);
        shell.onCreate();
        choice.onCommand(IDC_PORT_BUTTON);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, "打开串口失败");
        EXPECT_EQ(view.boxes[0].kind, BoxKind::information);
        EXPECT_EQ(port.opens, c.opens);
        EXPECT_EQ(port.current, 0);
        EXPECT_TRUE(port.writes.empty());
        EXPECT_FALSE(view.timerRunning(IDT_REPLY));
        EXPECT_EQ(view.texts.count(IDC_PORT_BUTTON), 0u);  // caption untouched
        EXPECT_TRUE(view.isEnabled(IDC_PORT_LIST));
        EXPECT_EQ(shell.replyCountdown(), 0);
    }
}

TEST(ReplyCountdown, SilentReaderTimesOutAtTheThirdTick)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.tick();
    rig.tick();
    EXPECT_TRUE(rig.choiceView.boxes.empty());
    EXPECT_EQ(rig.shell.replyCountdown(), 1);
    EXPECT_EQ(rig.port.current, 1);
    rig.tick();
    ASSERT_EQ(rig.choiceView.boxes.size(), 1u);
    EXPECT_EQ(rig.choiceView.boxes[0].text, "不能和设备正常通信，请检查设备是否上电");
    EXPECT_EQ(rig.choiceView.boxes[0].kind, BoxKind::information);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(rig.choiceView.timerRunning(IDT_REPLY));
    // The message comes before the click that closes the port.
    const auto& calls = rig.choiceView.calls;
    const auto box = std::find(calls.begin(), calls.end(),
                               "message 0 不能和设备正常通信，请检查设备是否上电");
    const auto kill = std::find(calls.begin(), calls.end(), "killTimer 1");
    EXPECT_LT(box - calls.begin(), kill - calls.begin());
}

TEST(ReplyCountdown, TicksWithNothingPendingDoNothing)
{
    SetupRig rig;
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(rig.shell.replyTick());
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
    rig.shell.armReply(SetupShell::Awaited::record);
    EXPECT_FALSE(rig.shell.replyTick());
    EXPECT_FALSE(rig.shell.replyTick());
    EXPECT_TRUE(rig.shell.replyTick());
    EXPECT_FALSE(rig.shell.replyTick());
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
}

TEST(ReplyCountdown, ReplyWithAWrongCrcCountsAsNoReply)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.tick();
    Bytes bad = replyFrame(3, configCmdParamReply, wiredRecord(modelWired, 1).bytes);
    bad[7] ^= 0x01;
    rig.deliver(bad);
    EXPECT_EQ(rig.window.modelReadySent, 0);
    EXPECT_EQ(rig.shell.replyCountdown(), 2);
    EXPECT_EQ(rig.port.current, 1);
    rig.tick();
    rig.tick();
    EXPECT_EQ(rig.choiceView.boxTexts(),
              std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
    EXPECT_EQ(rig.port.current, 0);
}

TEST(ReplyCountdown, ReplyBeforeTheThirdTickStopsIt)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.tick();
    rig.tick();
    rig.reply(3, wiredRecord(modelWired, 1).bytes);
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
    for (int i = 0; i < 5; ++i)
        rig.tick();
    EXPECT_TRUE(rig.view105.boxes.empty());
    EXPECT_TRUE(rig.choiceView.boxes.empty());
    EXPECT_TRUE(rig.page105.portOpen());
}

TEST(ParameterReply, LevelZeroIsRefusedAndThePortClosed)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(0, wiredRecord(modelWired, 1).bytes);
    ASSERT_EQ(rig.choiceView.boxes.size(), 1u);
    EXPECT_EQ(rig.choiceView.boxes[0].text, "网络读卡器版本低，请用旧版本的配置工具");
    EXPECT_EQ(rig.choiceView.boxes[0].kind, BoxKind::notice);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(rig.choiceView.timerRunning(IDT_REPLY));
    EXPECT_EQ(rig.window.modelReadySent, 0);
    EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE}));
    EXPECT_TRUE(rig.window.destroyed.empty());
    EXPECT_EQ(rig.window.rect.height, 190);
}

TEST(ParameterReply, LevelZeroOnADialogWhosePortIsClosedDoesNotReopenIt)
{
    // The reply was cut after the user closed the port: a click would open
    // it again and send a request.
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(0, wiredRecord(modelWired, 1).bytes);
    EXPECT_EQ(rig.choiceView.boxTexts(),
              std::vector<std::string>({"网络读卡器版本低，请用旧版本的配置工具"}));
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.port.opens.size(), 1u);
    EXPECT_EQ(rig.port.writes.size(), 1u);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
}

TEST(ParameterReply, UnknownModelsCloseThePortAndChangeNothingElse)
{
    for (uint8_t model : {4, 8, 51, 53, 255}) {
        SCOPED_TRACE(int(model));
        SetupRig rig;
        rig.choice.onCommand(IDC_PORT_BUTTON);
        rig.reply(2, wiredRecord(model, 1).bytes);
        EXPECT_EQ(rig.port.current, 0);
        EXPECT_EQ(rig.shell.replyCountdown(), 0);
        EXPECT_TRUE(rig.choiceView.boxes.empty());
        EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "关闭串口");
        EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE}));
        EXPECT_TRUE(rig.window.destroyed.empty());
        EXPECT_EQ(rig.window.rect.top, 180);
        EXPECT_EQ(rig.window.rect.height, 190);
        EXPECT_EQ(rig.shell.currentPage(), &rig.choice);
        // No time-out follows, and the button closes (nothing left to close).
        for (int i = 0; i < 4; ++i)
            rig.tick();
        EXPECT_TRUE(rig.choiceView.boxes.empty());
        rig.choice.onCommand(IDC_PORT_BUTTON);
        EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    }
}

TEST(ParameterReply, EveryModelRisesGrowsAndCreatesItsPage)
{
    struct Case {
        uint8_t model;
        int dialog;
        int rise;
        int growth;
    };
    const Case cases[] = {
        {1, 105, 263, 526}, {2, 111, 217, 435}, {3, 107, 246, 493}, {5, 114, 156, 312},
        {6, 115, 182, 364}, {7, 117, 246, 493}, {52, 113, 149, 298},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.model));
        SetupRig rig;
        rig.window.rect = {300, 400, 582, 190};
        rig.choice.onCommand(IDC_PORT_BUTTON);
        rig.reply(2, wiredRecord(c.model, 1).bytes);
        EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
        EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE, c.dialog}));
        EXPECT_EQ(rig.window.rect.left, 300);
        EXPECT_EQ(rig.window.rect.width, 582);
        EXPECT_EQ(rig.window.rect.top, 400 - c.rise);
        EXPECT_EQ(rig.window.rect.height, 190 + c.growth);
        EXPECT_EQ(rig.shell.modelReady().modelCode, c.model);
    }
}

TEST(ParameterReply, FillsTheModelReadyBlock)
{
    SetupRig rig;
    rig.choiceView.pick(IDC_PORT_LIST, 1);  // COM5
    rig.choice.onCommand(IDC_PORT_BUTTON);
    const Bytes record = wiredRecord(modelWiredOneAntenna, 0).bytes;
    rig.reply(7, record);
    const ModelReadyBlock& block = rig.shell.modelReady();
    EXPECT_EQ(block.portIndex, 1);
    EXPECT_EQ(block.modelCode, 2);
    EXPECT_EQ(block.level, 7);
    EXPECT_EQ(block.record.length, record.size());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), block.record.bytes.begin()));
    EXPECT_EQ(rig.window.modelReadySent, 1);
}

TEST(ParameterReply, ThePageReopensThePortTheReplyCameThrough)
{
    SetupRig rig;
    rig.choiceView.pick(IDC_PORT_LIST, 1);
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(3, wiredRecord(modelWired, 1).bytes);
    // Opened by the dialog, closed by the reply handler, re-opened by the page.
    EXPECT_EQ(rig.port.opens, std::vector<int>({5, 5}));
    EXPECT_EQ(rig.port.closes, 1);
    EXPECT_EQ(rig.port.current, 5);
    EXPECT_EQ(rig.view105.selection(IDC_PORT_LIST), 1);
    EXPECT_EQ(rig.port.writes.size(), 1u);  // the page sends no request
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
    EXPECT_EQ(rig.shell.currentPage(), &rig.page105);
    EXPECT_TRUE(rig.page105.portOpen());
}

TEST(ParameterReply, ALaterReplyRefreshesTheShowingPageWhateverItsModel)
{
    SetupRig rig;
    rig.showPage(modelWired, 1);
    const WindowRect grown = rig.window.rect;
    EXPECT_EQ(rig.view105.texts[IDC_NAME], "读卡器A");

    // Another reader on the same page: close, open (re-read), its reply.
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
    EXPECT_EQ(rig.shell.replyCountdown(), 3);
    RecordBuilder other = wiredRecord(modelWiredOneAntenna, 1);
    other.text(18, std::string("reader-two\0\0", 12)).text(0, std::string("V9\0\0\0", 5));
    rig.reply(3, other.bytes);

    EXPECT_EQ(rig.window.rect.top, grown.top);
    EXPECT_EQ(rig.window.rect.height, grown.height);
    EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE, IDD_PAGE_WIRED}));
    EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.shell.currentPage(), &rig.page105);
    EXPECT_EQ(rig.view105.texts[IDC_NAME], "reader-two");
    EXPECT_EQ(rig.view105.texts[IDC_VERSION], "V9");
    EXPECT_TRUE(rig.page105.portOpen());
    EXPECT_EQ(rig.port.current, 1);
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
    // The lists were not filled twice.
    EXPECT_EQ(rig.view105.itemsOf(IDC_PORT_LIST).size(), 2u);
    EXPECT_EQ(rig.view105.itemsOf(IDC_CONNECT_MODE).size(), 2u);
    EXPECT_EQ(rig.view105.itemsOf(IDC_RS485_BAUD).size(), 5u);
}

TEST(ParameterReply, ModelZeroRecreatesThePortChoiceDialog)
{
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.reply(2, wiredRecord(0, 1).bytes);
    EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE, IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.window.rect.height, 190);
    EXPECT_EQ(rig.window.rect.top, 180);
    // A new dialog: port closed, each port listed once.
    EXPECT_FALSE(rig.choice.portOpen());
    EXPECT_EQ(rig.choiceView.itemsOf(IDC_PORT_LIST), std::vector<std::string>({"COM1", "COM5"}));
    EXPECT_EQ(rig.choiceView.selection(IDC_PORT_LIST), 0);
    EXPECT_EQ(rig.port.current, 0);
    rig.choice.onCommand(IDC_PORT_BUTTON);  // opens straight away
    EXPECT_EQ(rig.port.current, 1);
}

TEST(ParameterReply, ModelZeroOverAShowingPageLeavesThePageUnderneath)
{
    SetupRig rig;
    rig.showPage(modelWired, 1);
    const WindowRect grown = rig.window.rect;
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.reply(2, wiredRecord(0, 1).bytes);
    EXPECT_EQ(rig.window.created,
              std::vector<int>({IDD_PORT_CHOICE, IDD_PAGE_WIRED, IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
    EXPECT_EQ(rig.view105.quitCode, -1);
    EXPECT_EQ(rig.window.rect.height, grown.height);
    EXPECT_EQ(rig.shell.currentPage(), &rig.choice);
}

TEST(ParameterReply, ShortReplyReadsAsZerosBeyondItsEnd)
{
    // A reply that ends inside the head names model 0; one that ends after
    // the model code shows zeros, never bytes of the earlier reader.
    SetupRig rig;
    rig.showPage(modelWired, 1);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    const Bytes full = wiredRecord(modelWired, 1).bytes;
    const Bytes head(full.begin(), full.begin() + 18);
    rig.reply(3, head);
    EXPECT_EQ(rig.view105.texts[IDC_NAME], "");
    EXPECT_EQ(rig.view105.addresses[IDC_PLATFORM_IP], "0.0.0.0");
    EXPECT_EQ(rig.view105.texts[IDC_MAC], "00-00-00-00-00-00");
}

TEST(WriteAcknowledgement, ShowsDoneOnTheCurrentPageAndStopsTheCountdown)
{
    for (uint8_t level : {0, 1, 9}) {
        SCOPED_TRACE(int(level));
        SetupRig rig;
        rig.showPage(modelWired, 1);
        rig.page105.onCommand(IDC_APPLY);
        EXPECT_EQ(rig.shell.replyCountdown(), 3);
        rig.tick();
        rig.deliver(replyFrame(level, configCmdWriteAck, {1, 2, 3}));
        EXPECT_EQ(rig.shell.replyCountdown(), 0);
        ASSERT_EQ(rig.view105.boxes.size(), 1u);
        EXPECT_EQ(rig.view105.boxes[0].text, "配置成功");
        EXPECT_EQ(rig.view105.boxes[0].kind, BoxKind::notice);
        rig.tick();
        rig.tick();
        EXPECT_EQ(rig.view105.boxes.size(), 1u);
        EXPECT_TRUE(rig.page105.portOpen());
    }
}

TEST(WriteAcknowledgement, WithoutItTheTimeOutClosesThePage)
{
    SetupRig rig;
    rig.showPage(modelWired, 1);
    rig.page105.onCommand(IDC_APPLY);
    rig.tick();
    rig.tick();
    EXPECT_TRUE(rig.view105.boxes.empty());
    rig.tick();
    EXPECT_EQ(rig.view105.boxTexts(),
              std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_FALSE(rig.page105.portOpen());
    // Closed down: the port list and its button are the only enabled
    // visible controls.
    for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY, IDC_DHCP, IDC_RS485_BAUD, IDC_ANTENNA_BAUD,
                   IDC_ANTENNA1_BAUD, IDC_CONNECT_MODE, IDC_NAME, IDC_PASSWORD, IDC_EYE,
                   IDC_PLATFORM_IP, IDC_PLATFORM_PORT, IDC_APPLY})
        EXPECT_FALSE(rig.view105.isEnabled(id)) << id;
    EXPECT_TRUE(rig.view105.isEnabled(IDC_PORT_LIST));
    EXPECT_TRUE(rig.view105.isEnabled(IDC_PORT_BUTTON));
}

// A write acknowledged after its time-out, while the read that followed waits
// for its record (a reader that answers in order, late): the acknowledgement
// is not the read's answer. The read still gets its record, or times out.
TEST(WriteAcknowledgement, ALateOneWhileAReadWaitsIsNotItsAnswer)
{
    for (bool recordComes : {true, false}) {
        SCOPED_TRACE(recordComes);
        SetupRig rig;
        rig.showPage(modelWired, 1);
        rig.page105.onCommand(IDC_APPLY);
        rig.tick();
        rig.tick();
        rig.tick();
        ASSERT_EQ(rig.view105.boxTexts(),
                  std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
        rig.page105.onCommand(IDC_PORT_BUTTON);  // the port opened again: a read
        rig.tick();
        rig.acknowledge();
        EXPECT_EQ(rig.view105.boxes.size(), 1u) << "no 配置成功 for the read";
        EXPECT_EQ(rig.shell.replyCountdown(), 2);
        if (recordComes) {
            rig.reply(3, wiredRecord(modelWired, 7).bytes);
            EXPECT_EQ(rig.shell.replyCountdown(), 0);
            EXPECT_EQ(rig.window.modelReadySent, 2);
        } else {
            rig.tick();
            rig.tick();
            EXPECT_EQ(rig.view105.boxTexts(),
                      std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电",
                                                "不能和设备正常通信，请检查设备是否上电"}));
            EXPECT_FALSE(rig.page105.portOpen());
        }
    }
}

// The counterpart: a read timed out, the page was opened again and answered
// by that read's late record, and "应用" went out; the record of the second
// read comes while the write waits for its acknowledgement. It is not the
// write's answer: the port stays open under the write, the typed ID stays,
// and the write still ends in "配置成功" or in the time-out.
TEST(WriteAcknowledgement, ALateRecordWhileAWriteWaitsIsNotItsAnswer)
{
    for (uint8_t level : {uint8_t(3), uint8_t(0)}) {
        for (bool ackComes : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "level " << int(level) << ", ack " << ackComes);
            SetupRig rig;
            rig.showPage(modelWired, 0);
            rig.view105.type(IDC_NAME, "4321");
            rig.page105.onCommand(IDC_APPLY);
            const size_t opens = rig.port.opens.size();
            rig.tick();
            rig.reply(level, wiredRecord(modelWired, 0).bytes);
            EXPECT_EQ(rig.window.modelReadySent, 1);
            EXPECT_TRUE(rig.view105.boxes.empty());
            EXPECT_EQ(rig.port.current, 1);
            EXPECT_EQ(rig.port.opens.size(), opens);
            EXPECT_EQ(rig.view105.texts[IDC_NAME], "4321");
            EXPECT_EQ(rig.shell.replyCountdown(), 2);
            if (ackComes) {
                rig.acknowledge();
                EXPECT_EQ(rig.view105.boxTexts(), std::vector<std::string>({"配置成功"}));
                EXPECT_TRUE(rig.page105.portOpen());
            } else {
                rig.tick();
                rig.tick();
                EXPECT_EQ(rig.view105.boxTexts(),
                          std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
                EXPECT_FALSE(rig.page105.portOpen());
            }
        }
    }
}

// A message box runs a message loop of its own: frames that the reader
// sends and the ticks of timer 1 are handled while it shows.
TEST(ReplyCountdown, AnAnswerWhileTheTimeOutBoxShowsCountsAsNoAnswer)
{
    enum class Request { open, reread, apply };
    struct Case {
        const char* name;
        Request request;
        Bytes frame;  // cut while the time-out box shows
    };
    const Case cases[] = {
        {"model-1 reply to the port choice", Request::open,
         replyFrame(3, configCmdParamReply, wiredRecord(modelWired, 1).bytes)},
        {"level-0 reply to the port choice", Request::open,
         replyFrame(0, configCmdParamReply, wiredRecord(modelWired, 1).bytes)},
        {"model-0 reply to the port choice", Request::open,
         replyFrame(3, configCmdParamReply, wiredRecord(0, 1).bytes)},
        {"reply to a page's re-read", Request::reread,
         replyFrame(3, configCmdParamReply, wiredRecord(modelWiredOneAntenna, 1).bytes)},
        {"acknowledgement of a write", Request::apply, replyFrame(2, configCmdWriteAck, {})},
        {"parameter reply to a write", Request::apply,
         replyFrame(3, configCmdParamReply, wiredRecord(modelWired, 0).bytes)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        SetupPage* dialog = &rig.choice;
        FakeSetupView* view = &rig.choiceView;
        if (c.request != Request::open) {
            rig.showPage(modelWired, 1);
            dialog = &rig.page105;
            view = &rig.view105;
            if (c.request == Request::reread)
                dialog->onCommand(IDC_PORT_BUTTON);  // close, then open again below
            dialog->onCommand(c.request == Request::apply ? IDC_APPLY : IDC_PORT_BUTTON);
        } else {
            dialog->onCommand(IDC_PORT_BUTTON);
        }
        ASSERT_EQ(rig.shell.replyCountdown(), 3);
        const std::vector<int> created = rig.window.created;
        const std::vector<int> destroyed = rig.window.destroyed;
        const int modelReadySent = rig.window.modelReadySent;
        const WindowRect rect = rig.window.rect;

        rig.tick();
        rig.tick();
        view->whileNextBox = [&] { rig.deliver(c.frame); };
        rig.tick();

        EXPECT_EQ(view->boxTexts(), std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
        EXPECT_EQ(rig.window.modelReadySent, modelReadySent);
        EXPECT_EQ(rig.window.created, created);
        EXPECT_EQ(rig.window.destroyed, destroyed);
        EXPECT_EQ(rig.window.rect.top, rect.top);
        EXPECT_EQ(rig.window.rect.height, rect.height);
        EXPECT_EQ(rig.shell.currentPage(), dialog);
        // The box's click closed the port of the dialog that showed it.
        EXPECT_EQ(rig.port.current, 0);
        EXPECT_FALSE(dialog->portOpen());
        EXPECT_EQ(view->texts[IDC_PORT_BUTTON], "打开串口");
        EXPECT_TRUE(view->isEnabled(IDC_PORT_LIST));
        EXPECT_FALSE(view->timerRunning(IDT_REPLY));
        EXPECT_EQ(rig.view105.quitCode, -1);
        for (int i = 0; i < 4; ++i)
            rig.tick();
        EXPECT_EQ(view->boxes.size(), 1u);

        // The next press asks again, and an answer in time counts again.
        dialog->onCommand(IDC_PORT_BUTTON);
        EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
        EXPECT_EQ(rig.shell.replyCountdown(), 3);
        rig.tick();
        rig.reply(3, wiredRecord(modelWired, 0).bytes);
        EXPECT_EQ(rig.shell.currentPage(), &rig.page105);
        EXPECT_TRUE(rig.page105.portOpen());
        EXPECT_NE(rig.port.current, 0);
        EXPECT_EQ(rig.view105.texts[IDC_NAME_LABEL], "设备ID：");
    }
}

TEST(ParameterReply, LevelZeroStopsTheCountdown)
{
    // The refusal is the answer: no time-out follows while it shows.
    SetupRig rig;
    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.tick();
    rig.choiceView.whileNextBox = [&] {
        for (int i = 0; i < 3; ++i)
            rig.tick();
    };
    rig.reply(0, wiredRecord(modelWired, 1).bytes);
    EXPECT_EQ(rig.choiceView.boxTexts(),
              std::vector<std::string>({"网络读卡器版本低，请用旧版本的配置工具"}));
    EXPECT_EQ(rig.shell.replyCountdown(), 0);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
}

// The main window's height says nothing about the pages: a minimised
// window is a caption bar high, a maximised one as high as the screen.
TEST(ParameterReply, APageIsChosenOnceWhateverTheWindowsHeight)
{
    for (int height : {31, 190, 300, 1024}) {
        SCOPED_TRACE(height);
        SetupRig rig;
        rig.window.rect = {300, 400, 582, height};
        rig.showPage(modelWired, 1);
        EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
        EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE, IDD_PAGE_WIRED}));
        EXPECT_EQ(rig.window.rect.top, 400 - 263);
        EXPECT_EQ(rig.window.rect.height, height + 526);
        EXPECT_EQ(rig.shell.currentPage(), &rig.page105);

        // A later reply, the window at that height again: the page refreshes.
        rig.window.rect = {300, 400, 582, height};
        rig.page105.onCommand(IDC_PORT_BUTTON);
        rig.page105.onCommand(IDC_PORT_BUTTON);
        rig.reply(3, wiredRecord(modelWired, 0).bytes);
        EXPECT_EQ(rig.window.destroyed, std::vector<int>({IDD_PORT_CHOICE}));
        EXPECT_EQ(rig.window.created, std::vector<int>({IDD_PORT_CHOICE, IDD_PAGE_WIRED}));
        EXPECT_EQ(rig.view105.quitCode, -1);
        EXPECT_EQ(rig.window.rect.top, 400);
        EXPECT_EQ(rig.window.rect.height, height);
        EXPECT_EQ(rig.shell.currentPage(), &rig.page105);
        EXPECT_TRUE(rig.page105.portOpen());
        EXPECT_EQ(rig.view105.texts[IDC_NAME_LABEL], "设备ID：");
    }
}

TEST(ParameterReply, ModelZeroOverAPageThenAKnownModelLeavesThePortChoiceClosed)
{
    SetupRig rig;
    rig.showPage(modelWired, 1);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.reply(2, wiredRecord(0, 1).bytes);
    ASSERT_EQ(rig.shell.currentPage(), &rig.choice);

    // The port choice over the page asks a reader of model 1: the reply
    // closes the port and refreshes the port choice, which shows it closed.
    rig.choice.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "关闭串口");
    rig.reply(3, wiredRecord(modelWired, 1).bytes);
    EXPECT_EQ(rig.shell.currentPage(), &rig.choice);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_FALSE(rig.choice.portOpen());
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(rig.choiceView.timerRunning(IDT_REPLY));
    EXPECT_EQ(rig.choiceView.itemsOf(IDC_PORT_LIST), std::vector<std::string>({"COM1", "COM5"}));
    EXPECT_EQ(rig.choiceView.selection(IDC_PORT_LIST), 0);
    EXPECT_EQ(rig.view105.quitCode, -1);

    // The button opens and closes again as it reads.
    rig.choice.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.port.current, 1);
    EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "关闭串口");
    EXPECT_FALSE(rig.choiceView.isEnabled(IDC_PORT_LIST));
    rig.choice.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(rig.choiceView.isEnabled(IDC_PORT_LIST));
}

TEST(ParameterReply, ModelZeroOverAPageShowsThePageUnderneathClosed)
{
    // The reply closed the port the page had open: the page shows so, and
    // only the port choice over it counts the next request down.
    SetupRig rig;
    rig.showPage(modelWired, 1);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.page105.onCommand(IDC_PORT_BUTTON);
    rig.reply(2, wiredRecord(0, 1).bytes);
    EXPECT_FALSE(rig.page105.portOpen());
    EXPECT_EQ(rig.view105.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_FALSE(rig.view105.timerRunning(IDT_REPLY));
    EXPECT_FALSE(rig.view105.isEnabled(IDC_APPLY));
    EXPECT_EQ(rig.view105.quitCode, -1);
    EXPECT_EQ(rig.shell.currentPage(), &rig.choice);

    rig.choice.onCommand(IDC_PORT_BUTTON);
    rig.tick();
    rig.tick();
    EXPECT_TRUE(rig.choiceView.boxes.empty());
    rig.tick();
    EXPECT_EQ(rig.choiceView.boxTexts(),
              std::vector<std::string>({"不能和设备正常通信，请检查设备是否上电"}));
    EXPECT_TRUE(rig.view105.boxes.empty());
    EXPECT_EQ(rig.port.current, 0);
    EXPECT_EQ(rig.choiceView.texts[IDC_PORT_BUTTON], "打开串口");
}
