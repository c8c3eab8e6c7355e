// The R7A dialect: its constant read request, the write request byte for
// byte, and the record codec against hand-built replies.
#include <gtest/gtest.h>

#include "r7a-setup/r7aFrame.h"
#include "r7aBytes.h"
#include "serial/paramRecords.h"

TEST(R7aFrame, ReadRequestIsTheConstantFrameWithItsCrcLowByteFirst)
{
    const Bytes expected = hexBytes("51564E52 01 01 01 B0 00 00");
    EXPECT_EQ(Bytes(r7aReadRequest, r7aReadRequest + 10), expected);
    uint8_t built[10];
    ASSERT_EQ(buildR7aFrame(built, sizeof built, 0x01, 0x01, nullptr, 0), 10u);
    EXPECT_EQ(Bytes(built, built + 10), expected);
    // The configuration frame stores the same CRC high byte first.
    EXPECT_EQ(configReadRequest[6], 0xB0);
    EXPECT_EQ(configReadRequest[7], 0x01);
}

TEST(R7aFrame, WriteRequestOfTheWorkedExample)
{
    R7aRecord rec;
    rec.rs485Baud = 0;
    rec.antenna0Baud = 1;
    rec.antenna1Baud = 2;
    rec.ip = ipv4(192, 168, 1, 195);
    rec.mask = ipv4(255, 255, 255, 0);
    rec.gateway = ipv4(192, 168, 1, 1);
    rec.threshold = -80;
    rec.flag = 1;
    uint8_t payload[r7aWriteSize];
    encodeR7aWrite(rec, payload);
    uint8_t frame[r7aWriteFrameSize];
    ASSERT_EQ(buildR7aFrame(frame, sizeof frame, 0x01, 0x03, payload, sizeof payload), 27u);
    EXPECT_EQ(Bytes(frame, frame + 27), exampleWrite());
}

TEST(R7aFrame, CrcIsCheckedLowByteFirst)
{
    Bytes f = r7aReply(59);
    EXPECT_TRUE(r7aCrcMatches(f.data(), f.size()));
    std::swap(f[6], f[7]);  // the configuration frame's order
    EXPECT_FALSE(r7aCrcMatches(f.data(), f.size()));
}

struct ReplyCase {
    size_t size;
    bool hasThreshold;
    bool hasFlag;
};

class R7aReplySizes : public testing::TestWithParam<ReplyCase> {};

TEST_P(R7aReplySizes, FieldsAtTheirOffsets)
{
    const ReplyCase c = GetParam();
    const Bytes payload = r7aReplyPayload(c.size, "R7A-V1.7", 7);
    R7aRecord rec;
    ASSERT_TRUE(decodeR7aReply(payload.data(), payload.size(), &rec));
    EXPECT_EQ(rec.rs485Baud, 0);
    EXPECT_EQ(rec.antenna0Baud, 1);
    EXPECT_EQ(rec.antenna1Baud, 2);
    EXPECT_EQ(rec.ip, ipv4(192, 168, 1, 195));
    EXPECT_EQ(rec.mask, ipv4(255, 255, 255, 0));
    EXPECT_EQ(rec.gateway, ipv4(192, 168, 1, 1));
    EXPECT_STREQ(rec.version, "R7A-V1.7");
    EXPECT_EQ(rec.hasThreshold, c.hasThreshold);
    EXPECT_EQ(rec.threshold, c.hasThreshold ? -80 : 0);
    EXPECT_EQ(rec.hasFlag, c.hasFlag);
    EXPECT_EQ(rec.flag, c.hasFlag ? 7 : 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, R7aReplySizes,
                         testing::Values(ReplyCase{57, false, false}, ReplyCase{58, true, false},
                                         ReplyCase{59, true, true},
                                         // longer replies: the threshold, no flag
                                         ReplyCase{60, true, false}));

TEST(R7aFrame, ReplyShorterThanTheRecordIsRefused)
{
    const Bytes payload = r7aReplyPayload(57);
    R7aRecord rec;
    rec.ip = 42;
    EXPECT_FALSE(decodeR7aReply(payload.data(), payload.size() - 1, &rec));
    EXPECT_EQ(rec.ip, 42u);
}

TEST(R7aFrame, VersionTextWithoutZeroEndsWithItsField)
{
    const std::string full(32, 'V');
    Bytes payload = r7aReplyPayload(59, full);
    R7aRecord rec;
    ASSERT_TRUE(decodeR7aReply(payload.data(), payload.size(), &rec));
    EXPECT_EQ(std::string(rec.version), full);
}

TEST(R7aFrame, WriteAndReplyRoundTripOnTheReaderSide)
{
    const Bytes w = exampleWrite();
    R7aRecord rec;
    ASSERT_TRUE(decodeR7aWrite(w.data() + 10, 17, &rec));
    std::memcpy(rec.version, "R7A-V1.7", 9);
    uint8_t payload[49];
    ASSERT_EQ(encodeR7aReply(rec, 59, payload, sizeof payload), 49u);
    EXPECT_EQ(Bytes(payload, payload + 49), r7aReplyPayload(59));
}
