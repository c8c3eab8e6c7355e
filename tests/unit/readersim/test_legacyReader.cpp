// The legacy reader byte for byte: the 16-bit login result, its one-byte
// form, reports always without leading bytes, heartbeat acks and no link
// requests.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/readersim/waitingFixture.h"

TEST(LegacyReaderLogin, SixteenBitResult)
{
    struct Case {
        const char* name;
        uint16_t loginResult;
        bool shortAck;
        bool refuse;
        const char* ack;
        bool linked;
        const char* status;
    };
    const Case cases[] = {
        {"accepted", 0, false, false, "51 56 52 46 02 02 E4 A1 00 02 00 00", true,
         "# login-accepted from=127.0.0.1:50123"},
        // Only the high byte set: a console reading one byte would accept.
        {"result 0x0100", 0x0100, false, false, "51 56 52 46 02 02 74 A0 00 02 01 00", false,
         "# login-refused from=127.0.0.1:50123 reason=result result=256"},
        {"refused", 0, false, true, "51 56 52 46 02 02 24 60 00 02 00 01", false,
         "# login-refused from=127.0.0.1:50123 reason=forced result=1"},
        {"one-byte ack", 0, true, false, "51 56 52 46 02 02 50 70 00 01 00", true,
         "# login-accepted from=127.0.0.1:50123"},
    };
    for (const Case& c : cases) {
        LegacyFixture f;
        f.config.loginResult = c.loginResult;
        f.config.shortLoginAck = c.shortAck;
        f.config.refuseLogin = c.refuse;
        f.reader().start();
        f.deliver(legacyLogin());
        ASSERT_EQ(f.sender.frames.size(), 1u) << c.name;
        EXPECT_EQ(f.sender.frames[0].bytes, hexBytes(c.ack)) << c.name;
        EXPECT_EQ(f.reader().state() == WaitingReader::State::linked, c.linked) << c.name;
        EXPECT_TRUE(f.log.contains(c.status)) << c.name;
    }

    // The connecting console's 33-byte login is not this dialect's.
    LegacyFixture f;
    f.reader().start();
    f.deliver(directLogin());
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].bytes, hexBytes("51 56 52 46 02 02 24 60 00 02 00 01"));
    EXPECT_TRUE(f.log.contains("# login-refused from=127.0.0.1:50123 reason=layout result=1"));
}

TEST(LegacyReaderLink, ReportsHeartbeatAcksAndNoLinkRequests)
{
    // Even with version byte 4 the layout stays the one without leading bytes.
    for (const uint8_t version : {uint8_t(2), uint8_t(4)}) {
        LegacyFixture f;
        f.config.version = version;
        f.config.readerId = 0x01020304;
        const uint8_t states[] = {0, 2, 1};
        std::copy(states, states + 3, f.config.states);
        f.config.stateCount = 3;
        f.tagConfig.tagCount = 1;
        f.tagConfig.firstTagId = 0x0A0B0C0D;
        f.tagConfig.substations[0] = 3;
        f.tagConfig.lowVoltageEvery = 1;
        f.tagConfig.extra[0] = 0xAA;
        f.tagConfig.extra[1] = 0xBB;
        f.tagConfig.extraCount = 2;
        f.login();
        f.ticks(100);
        EXPECT_TRUE(f.sentWithCode(devCmdLinkReq).empty()) << int(version);
        const std::vector<SentFrame> reports = f.sentWithCode(devCmdLabelReport);
        ASSERT_EQ(reports.size(), 100u) << int(version);
        Bytes expected = hexBytes("51 56 52 46 02 03 3F 93 00 09 03 0A 0B 0C 0D 41 AA BB D8");
        expected[4] = version;  // outside the CRC
        EXPECT_EQ(reports[0].bytes, expected) << int(version);

        f.sender.frames.clear();
        f.deliver(hexBytes("51 56 52 46 00 04 B0 01 00 00"));  // the legacy console's heartbeat
        ASSERT_EQ(f.sender.frames.size(), 1u);
        Bytes ack = hexBytes("51 56 52 46 02 05 3F 31 00 04 03 00 02 01");
        ack[4] = version;
        EXPECT_EQ(f.sender.frames[0].bytes, ack) << int(version);
    }
}

TEST(LegacyReaderLink, LinkFramesOfTheNewerDialectAreOnlyPrinted)
{
    LegacyFixture f;
    f.login();
    f.deliver(hexBytes("51 56 52 46 04 10 B0 01 00 00"));
    f.deliver(frameV(4, devCmdLinkReq, {0, 0, 0, 0, 0}));
    EXPECT_TRUE(f.sender.frames.empty());
    ASSERT_EQ(f.log.lines.size(), 2u);
    EXPECT_NE(f.log.lines[0].find(" code=0x10 name=unknown "), std::string::npos);
    EXPECT_NE(f.log.lines[1].find(" code=0x0F name=unknown "), std::string::npos);
}

TEST(LegacyReaderAnswers, TheDocumentedCallIsAcked)
{
    // A call to tag 100 at substation 1 with lamp mode 1, as the legacy
    // console sends it, and its stop frame.
    struct Case {
        const char* call;
        const char* ack;
    };
    const Case cases[] = {
        {"51 56 52 46 02 06 99 D8 00 07 01 00 00 00 64 05 01",
         "51 56 52 46 02 07 99 D8 00 07 01 00 00 00 64 05 01"},
        {"51 56 52 46 02 06 D9 5B 00 07 01 00 00 00 64 01 FF",
         "51 56 52 46 02 07 D9 5B 00 07 01 00 00 00 64 01 FF"},
    };
    for (const Case& c : cases) {
        LegacyFixture f;
        f.login();
        f.deliver(hexBytes(c.call));
        ASSERT_EQ(f.sender.frames.size(), 1u);
        EXPECT_EQ(f.sender.frames[0].bytes, hexBytes(c.ack));
    }
}
