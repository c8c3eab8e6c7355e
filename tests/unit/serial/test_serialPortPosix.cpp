// The POSIX serial port over pseudo-terminals: the test holds the master
// side (the reader), the port opens the slave. Bytes cross unchanged in
// both directions, frames reach the link's sink whole, the port can be
// closed and re-opened under the running threads, ports held open are not
// offered by the probe, and port numbers map to device paths.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "linkFixture.h"
#include "platform/serialPort.h"

namespace {

// One pseudo-terminal: the master stays with the test.
class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0)
            return;
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            ::close(master_);
            master_ = -1;
            return;
        }
        const char* name = ::ptsname(master_);
        slave_ = name ? name : "";
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& slave() const { return slave_; }

    // Writes everything the reader sends (bounded).
    bool send(const Bytes& bytes)
    {
        size_t done = 0;
        return waitUntil([&] {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            return done == bytes.size();
        });
    }
    // Reads until count bytes have come (bounded).
    Bytes receive(size_t count)
    {
        Bytes got;
        waitUntil([&] {
            uint8_t buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                got.insert(got.end(), buffer, buffer + n);
            return got.size() >= count;
        });
        return got;
    }
    // Bytes the reader could read right now.
    size_t pending()
    {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            return 0;
        uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        return n > 0 ? size_t(n) : 0;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Points every port number away from real devices for the probe tests, and
// restores the naming rule afterwards.
class PortTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int n = 1; n <= serialProbeCount; ++n)
            ASSERT_TRUE(setComDevicePath(n, "/nonexistent/tagdesk-no-port"));
    }
    void TearDown() override
    {
        for (int n = 1; n <= serialProbeCount; ++n)
            setComDevicePath(n, "");
    }
};

}  // namespace

TEST(PosixSerialPort, FramesFromThePtyReachTheSinkWhole)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    WaitingSink sink;
    SerialLink link(port, sink);
    link.start();

    const Bytes a = linkFrame(configCmdParamReply, awkwardPayload(300, 3));
    const Bytes b = linkFrame(configCmdWriteAck, awkwardPayload(5, 8));
    const Bytes c = linkFrame(configCmdParamReply, awkwardPayload(116, 11), 3);
    // The first frame in three writes, the other two in one.
    ASSERT_TRUE(pty.send(Bytes(a.begin(), a.begin() + 7)));
    ASSERT_TRUE(pty.send(Bytes(a.begin() + 7, a.begin() + 150)));
    ASSERT_TRUE(pty.send(Bytes(a.begin() + 150, a.end())));
    const Bytes both = joined(b, c);
    ASSERT_TRUE(pty.send(both));
    EXPECT_EQ(sink.waitFor(3), std::vector<Bytes>({a, b, c}));
    link.stop();
}

TEST(PosixSerialPort, WritesLeaveUnchanged)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    EXPECT_TRUE(port.isOpen());
    // No CR/LF mapping, no XON/XOFF, nothing dropped: the frame as it was.
    const Bytes frame = linkFrame(configCmdWriteRequest, awkwardPayload(93, 2), 0);
    port.writeComBytes(frame.data(), frame.size());
    EXPECT_EQ(pty.receive(frame.size()), frame);
    EXPECT_EQ(pty.pending(), 0u);
}

TEST(PosixSerialPort, ClosedPortReadsNothingAndWritesNothing)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    uint8_t buffer[16];
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.readComBytes(buffer, sizeof buffer, 5), -1);
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    port.closeComPort();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.readComBytes(buffer, sizeof buffer, 5), -1);
    port.writeComBytes(configReadRequest, sizeof configReadRequest);
    EXPECT_EQ(pty.pending(), 0u);
    port.closeComPort();  // closing twice is harmless
}

// A read begun with no port open waits for one (up to its bound) instead of
// failing at once, so the receive thread idles, and it reads what the port
// opened meanwhile brings.
TEST(PosixSerialPort, ReadWithNoPortWaitsForAnOpen)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    long got = 0;
    uint8_t buffer[16] = {};
    std::thread reader([&] { got = port.readComBytes(buffer, sizeof buffer, 10000); });
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    ASSERT_TRUE(pty.send(Bytes{'a', 'b', 'c'}));
    reader.join();
    ASSERT_EQ(got, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
}

TEST(PosixSerialPort, FailedOpenLeavesNoPortOpen)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    // Every open closes the port first, so a failure leaves none open.
    EXPECT_FALSE(port.openDevice("/nonexistent/tagdesk-no-port"));
    EXPECT_FALSE(port.isOpen());
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    EXPECT_FALSE(port.openComPort(0));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.openComPort(serialProbeCount + 1));
    EXPECT_FALSE(port.openDevice(""));
    EXPECT_FALSE(port.openDevice(nullptr));
}

TEST(PosixSerialPort, APortHeldOpenCannotBeOpenedAgain)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort first, second;
    ASSERT_TRUE(first.openDevice(pty.slave().c_str()));
    EXPECT_FALSE(second.openDevice(pty.slave().c_str()));
    first.closeComPort();
    EXPECT_TRUE(second.openDevice(pty.slave().c_str()));
}

TEST(PosixSerialPort, CloseAndReopenUnderTheRunningThreads)
{
    Pty one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    SerialPort port;
    WaitingSink sink;
    SerialLink link(port, sink);
    link.start();
    const Bytes f1 = linkFrame(configCmdParamReply, awkwardPayload(40, 1));
    const Bytes f2 = linkFrame(configCmdWriteAck, {7});
    const Bytes f3 = linkFrame(configCmdParamReply, awkwardPayload(60, 4));
    for (int round = 0; round < 3; ++round) {
        const size_t before = sink.count();
        ASSERT_TRUE(port.openDevice(one.slave().c_str()));
        ASSERT_TRUE(one.send(f1));
        ASSERT_EQ(sink.waitFor(before + 1).back(), f1);
        // The receive thread waits on the port while it closes.
        port.closeComPort();
        ASSERT_TRUE(port.openDevice(two.slave().c_str()));
        ASSERT_TRUE(two.send(f2));
        ASSERT_EQ(sink.waitFor(before + 2).back(), f2);
        // Re-opening the open port replaces it with itself.
        ASSERT_TRUE(port.openDevice(two.slave().c_str()));
        ASSERT_TRUE(two.send(f3));
        ASSERT_EQ(sink.waitFor(before + 3).back(), f3);
        port.closeComPort();
    }
    link.stop();
    EXPECT_EQ(link.liveLoops(), 0);
}

TEST(PosixSerialPort, LinkAndPortTogetherAnswerARequest)
{
    // The tool's side of one exchange: request out, reply in, on one port.
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    WaitingSink sink;
    SerialLink link(port, sink);
    link.start();
    ASSERT_TRUE(port.openDevice(pty.slave().c_str()));
    sendReadRequest(port);
    EXPECT_EQ(pty.receive(configHeaderSize),
              Bytes(configReadRequest, configReadRequest + configHeaderSize));
    const Bytes reply = linkFrame(configCmdParamReply, awkwardPayload(116, 6), 3);
    ASSERT_TRUE(pty.send(reply));
    EXPECT_EQ(sink.waitFor(1), std::vector<Bytes>({reply}));
}

TEST_F(PortTable, NumbersMapToPathsByRuleOrTable)
{
    for (int n = 1; n <= serialProbeCount; ++n)
        setComDevicePath(n, "");
    EXPECT_EQ(comDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(comDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(comDevicePath(0), "");
    EXPECT_EQ(comDevicePath(33), "");
    EXPECT_TRUE(setComDevicePath(3, "/tmp/port-three"));
    EXPECT_EQ(comDevicePath(3), "/tmp/port-three");
    EXPECT_FALSE(setComDevicePath(0, "/tmp/x"));
    EXPECT_FALSE(setComDevicePath(33, "/tmp/x"));
    const std::string longest(comDevicePathMax - 1, 'x');
    EXPECT_TRUE(setComDevicePath(4, longest.c_str()));
    EXPECT_EQ(comDevicePath(4), longest);
    const std::string tooLong(comDevicePathMax, 'y');
    EXPECT_FALSE(setComDevicePath(4, tooLong.c_str()));
    EXPECT_EQ(comDevicePath(4), longest);  // unchanged
    EXPECT_TRUE(setComDevicePath(3, ""));
    EXPECT_EQ(comDevicePath(3), "/dev/ttyS2");
}

TEST_F(PortTable, ProbeOffersFreePortsAndNotHeldOnes)
{
    EXPECT_EQ(probeComPorts(), 0u);
    Pty com1, com3, com5;
    ASSERT_TRUE(com1.ok() && com3.ok() && com5.ok());
    ASSERT_TRUE(setComDevicePath(1, com1.slave().c_str()));
    ASSERT_TRUE(setComDevicePath(3, com3.slave().c_str()));
    ASSERT_TRUE(setComDevicePath(5, com5.slave().c_str()));
    EXPECT_EQ(probeComPorts(), 0x15u);
    SerialPort holder;
    ASSERT_TRUE(holder.openComPort(3));
    EXPECT_EQ(probeComPorts(), 0x11u);  // COM1 and COM5 only
    int numbers[serialProbeCount];
    ASSERT_EQ(comPortNumbers(holder.probeComPorts(), numbers), 2u);
    EXPECT_EQ(numbers[0], 1);
    EXPECT_EQ(numbers[1], 5);
    holder.closeComPort();
    EXPECT_EQ(probeComPorts(), 0x15u);
}

TEST_F(PortTable, OpenComPortUsesTheMappedDevice)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(setComDevicePath(7, pty.slave().c_str()));
    SerialPort port;
    EXPECT_FALSE(port.openComPort(6));
    ASSERT_TRUE(openComPortItem(port, "COM7"));
    const Bytes frame = linkFrame(configCmdWriteRequest, {1, 2, 3}, 0);
    port.writeComBytes(frame.data(), frame.size());
    EXPECT_EQ(pty.receive(frame.size()), frame);
}
