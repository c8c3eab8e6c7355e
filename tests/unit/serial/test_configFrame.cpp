// The configuration frame: CRC vectors, the requests byte for byte, the
// frame check and the dispatch of cut frames.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serial/configFrame.h"
#include "serial/serialLink.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const char* text) { return Bytes(text, text + std::strlen(text)); }

// The bit-by-bit definition: XOR each byte into the low byte, then eight
// shifts right, XOR 0xA001 when a 1 falls out.
uint16_t crcBitwise(const uint8_t* p, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

class RecordingWriter : public SerialWriter {
public:
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        writes.emplace_back(bytes, bytes + count);
    }
    std::vector<Bytes> writes;
};

struct Reply {
    std::string kind;
    uint8_t level = 0;
    Bytes payload;
};

class RecordingHandler : public ConfigReplyHandler {
public:
    void onParameterReply(uint8_t level, const uint8_t* payload, size_t length) override
    {
        replies.push_back({"param", level, Bytes(payload, payload + length)});
    }
    void onWriteAcknowledged() override { replies.push_back({"ack", 0, {}}); }
    std::vector<Reply> replies;
};

Bytes frameOf(uint8_t level, uint8_t command, const Bytes& payload)
{
    Bytes f(configHeaderSize + payload.size());
    EXPECT_EQ(buildConfigFrame(f.data(), f.size(), level, command, payload.data(),
                               payload.size()),
              f.size());
    return f;
}

}  // namespace

TEST(Crc16Modbus, CheckValueOfDigits)
{
    const Bytes digits = bytesOf("123456789");
    EXPECT_EQ(crc16Modbus(digits.data(), digits.size()), 0x4B37);
}

TEST(Crc16Modbus, TwoZeroLengthBytes)
{
    const uint8_t zeros[2] = {0, 0};
    EXPECT_EQ(crc16Modbus(zeros, 2), 0xB001);
}

TEST(Crc16Modbus, EmptyOrAbsentInputGivesZero)
{
    const uint8_t one = 0x55;
    EXPECT_EQ(crc16Modbus(nullptr, 0), 0);
    EXPECT_EQ(crc16Modbus(nullptr, 5), 0);
    EXPECT_EQ(crc16Modbus(&one, 0), 0);
}

TEST(Crc16Modbus, KnownFrameVectors)
{
    struct Case {
        Bytes covered;  // offsets 8 to the end of a frame
        uint16_t crc;
    };
    const Case cases[] = {
        {{0x00, 0x01, 0xCE}, 0xC4F1},  // RSSI threshold write of -50
        {{0x00, 0x01, 0x00}, 0x5070},  // RSSI threshold write of 0
        // The 17-byte record write of the older dialect (stored low byte first there).
        {{0x00, 0x11, 0x00, 0x01, 0x02, 0xC3, 0x01, 0xA8, 0xC0, 0x00, 0xFF, 0xFF, 0xFF, 0x01,
          0x01, 0xA8, 0xC0, 0xB0, 0x01},
         0x61C0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(crc16Modbus(c.covered.data(), c.covered.size()), c.crc);
}

TEST(Crc16Modbus, MatchesTheBitwiseDefinition)
{
    Bytes data(600);
    uint32_t seed = 12345;
    for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    for (size_t n = 1; n <= data.size(); n += 7)
        EXPECT_EQ(crc16Modbus(data.data(), n), crcBitwise(data.data(), n)) << n;
}

TEST(ConfigRequests, ReadRequestIsTheTenFixedBytes)
{
    RecordingWriter writer;
    sendReadRequest(writer);
    ASSERT_EQ(writer.writes.size(), 1u);
    EXPECT_EQ(writer.writes[0], (Bytes{'Q', 'V', 'N', 'R', 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00}));
    // The constant is the frame the builder makes.
    EXPECT_EQ(frameOf(0, configCmdReadRequest, {}), writer.writes[0]);
}

TEST(ConfigRequests, WriteRequestIsOneWriteOfNPlusTenBytes)
{
    for (size_t n : {size_t(0), size_t(1), size_t(85), size_t(93), size_t(133), size_t(157),
                     size_t(164), size_t(255)}) {
        Bytes payload(n);
        for (size_t i = 0; i < n; ++i)
            payload[i] = uint8_t(i * 7 + 1);
        RecordingWriter writer;
        ASSERT_TRUE(sendWriteRequest(writer, payload.data(), n)) << n;
        ASSERT_EQ(writer.writes.size(), 1u);
        const Bytes& f = writer.writes[0];
        ASSERT_EQ(f.size(), n + 10);
        EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), bytesOf("QVNR"));
        EXPECT_EQ(f[4], 0x00);
        EXPECT_EQ(f[5], 0x03);
        EXPECT_EQ(f[8], 0x00);
        EXPECT_EQ(f[9], uint8_t(n));
        const uint16_t crc = crcBitwise(f.data() + 8, n + 2);
        EXPECT_EQ(f[6], uint8_t(crc >> 8));
        EXPECT_EQ(f[7], uint8_t(crc));
        EXPECT_EQ(Bytes(f.begin() + 10, f.end()), payload);
    }
}

TEST(ConfigRequests, PayloadTooLongForTheToolIsNotSent)
{
    Bytes payload(256);
    RecordingWriter writer;
    EXPECT_FALSE(sendWriteRequest(writer, payload.data(), payload.size()));
    EXPECT_FALSE(sendWriteRequest(writer, nullptr, 5));
    EXPECT_TRUE(writer.writes.empty());
}

TEST(ConfigRequests, SignalFilterCommandsUseTheSameFrame)
{
    RecordingWriter writer;
    const uint8_t minus50 = 0xCE;
    const uint8_t zero = 0x00;
    ASSERT_TRUE(sendConfigFrame(writer, configCmdRssiRead, nullptr, 0));
    ASSERT_TRUE(sendConfigFrame(writer, configCmdRssiWrite, &minus50, 1));
    ASSERT_TRUE(sendConfigFrame(writer, configCmdRssiWrite, &zero, 1));
    ASSERT_EQ(writer.writes.size(), 3u);
    EXPECT_EQ(writer.writes[0], (Bytes{'Q', 'V', 'N', 'R', 0x00, 0x07, 0xB0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(writer.writes[1],
              (Bytes{'Q', 'V', 'N', 'R', 0x00, 0x09, 0xC4, 0xF1, 0x00, 0x01, 0xCE}));
    EXPECT_EQ(writer.writes[2],
              (Bytes{'Q', 'V', 'N', 'R', 0x00, 0x09, 0x50, 0x70, 0x00, 0x01, 0x00}));
}

TEST(ConfigFrameBuild, StoresTheWholeLengthAndRefusesWhatDoesNotFit)
{
    Bytes payload(300, 0x5A);
    Bytes out(310);
    ASSERT_EQ(buildConfigFrame(out.data(), out.size(), 3, configCmdParamReply, payload.data(),
                               payload.size()),
              310u);
    EXPECT_EQ(out[4], 3);
    EXPECT_EQ(out[8], 0x01);
    EXPECT_EQ(out[9], 0x2C);
    EXPECT_EQ(configFrameCheck(out.data(), out.size(), nullptr), ConfigCheck::ok);
    EXPECT_EQ(buildConfigFrame(out.data(), 309, 3, configCmdParamReply, payload.data(),
                               payload.size()),
              0u);
}

TEST(ConfigFrameCheck, Table)
{
    const Bytes good = frameOf(2, configCmdParamReply, {1, 2, 3, 4});
    struct Case {
        const char* name;
        Bytes frame;
        ConfigCheck expected;
    };
    std::vector<Case> cases = {
        {"good", good, ConfigCheck::ok},
        {"header only", frameOf(0, configCmdWriteAck, {}), ConfigCheck::ok},
        {"nine bytes", Bytes(good.begin(), good.begin() + 9), ConfigCheck::tooShort},
        {"cut short", Bytes(good.begin(), good.end() - 1), ConfigCheck::badLength},
    };
    Bytes magic = good;
    magic[3] = 'F';
    cases.push_back({"magic", magic, ConfigCheck::badMagic});
    Bytes longer = good;
    longer.push_back(0);
    cases.push_back({"trailing byte", longer, ConfigCheck::badLength});
    for (size_t at : {size_t(6), size_t(7), size_t(10), size_t(13)}) {
        Bytes bad = good;
        bad[at] ^= 0x01;
        cases.push_back({"crc", bad, ConfigCheck::badCrc});
    }
    for (const Case& c : cases)
        EXPECT_EQ(configFrameCheck(c.frame.data(), c.frame.size(), nullptr), c.expected)
            << c.name;

    ConfigFrame f;
    ASSERT_EQ(configFrameCheck(good.data(), good.size(), &f), ConfigCheck::ok);
    EXPECT_EQ(f.level, 2);
    EXPECT_EQ(f.command, configCmdParamReply);
    EXPECT_EQ(f.length, 4u);
    EXPECT_EQ(f.payload, good.data() + 10);
}

TEST(DispatchFrame, ParameterReplyPassesLevelPayloadAndLength)
{
    const Bytes payload = {'V', '1', 0, 9, 8, 7};
    const Bytes f = frameOf(3, configCmdParamReply, payload);
    RecordingHandler handler;
    EXPECT_EQ(dispatchFrame(f.data(), f.size(), handler), ConfigDispatch::parameterReply);
    ASSERT_EQ(handler.replies.size(), 1u);
    EXPECT_EQ(handler.replies[0].kind, "param");
    EXPECT_EQ(handler.replies[0].level, 3);
    EXPECT_EQ(handler.replies[0].payload, payload);
}

TEST(DispatchFrame, AcknowledgementWithAnyLevelAndPayload)
{
    for (uint8_t level : {0, 1, 7, 255}) {
        for (const Bytes& payload : {Bytes{}, Bytes{1}, Bytes(40, 0xEE)}) {
            const Bytes f = frameOf(level, configCmdWriteAck, payload);
            RecordingHandler handler;
            EXPECT_EQ(dispatchFrame(f.data(), f.size(), handler),
                      ConfigDispatch::writeAcknowledged);
            ASSERT_EQ(handler.replies.size(), 1u);
            EXPECT_EQ(handler.replies[0].kind, "ack");
        }
    }
}

TEST(DispatchFrame, AnyWrongByteUnderTheCrcDropsTheFrameSilently)
{
    const Bytes good = frameOf(2, configCmdParamReply, Bytes(120, 0x11));
    for (size_t at = 6; at < good.size(); ++at) {
        Bytes bad = good;
        bad[at] ^= 0x80;
        RecordingHandler handler;
        EXPECT_EQ(dispatchFrame(bad.data(), bad.size(), handler), ConfigDispatch::rejected) << at;
        EXPECT_TRUE(handler.replies.empty());
    }
}

TEST(DispatchFrame, OtherCommandsAreIgnored)
{
    for (uint8_t command : {0x00, 0x01, 0x03, 0x05, 0x07, 0x08, 0x0A, 0xFF}) {
        const Bytes f = frameOf(1, command, {1, 2});
        RecordingHandler handler;
        EXPECT_EQ(dispatchFrame(f.data(), f.size(), handler), ConfigDispatch::ignored);
        EXPECT_TRUE(handler.replies.empty());
    }
}

TEST(ComPortNumbers, MaskToPortList)
{
    int ports[serialProbeCount];
    EXPECT_EQ(comPortNumbers(0, ports), 0u);

    // COM3 held by another program, COM1 and COM5 free.
    ASSERT_EQ(comPortNumbers(0x11, ports), 2u);
    EXPECT_EQ(ports[0], 1);
    EXPECT_EQ(ports[1], 5);

    ASSERT_EQ(comPortNumbers(0xFFFFFFFFu, ports), 32u);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(ports[i], i + 1);
}
