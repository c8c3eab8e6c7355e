// The serial port as every serial tool uses it: the fixed line settings that
// each port adapter applies, the port interfaces that the dialogs and the
// receive threads use, and the port list built from the probe mask. The
// adapters themselves (overlapped Win32 handles, POSIX termios) live in
// platform/ (platform/serialPort.h) and implement SerialDevice.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// Line settings applied on every open: 115200 baud, 8 data bits, no parity,
// 1 stop bit; flow control and the control characters left as the driver has them.
constexpr uint32_t serialBaudRate = 115200;
constexpr int serialDataBits = 8;
constexpr size_t serialQueueSize = 2048;           // driver queues, in and out
constexpr uint32_t serialWriteMsPerByte = 100;     // write total time-out multiplier
constexpr uint32_t serialWriteConstantMs = 500;    // write total time-out constant
constexpr uint32_t serialWriteWaitMs = 1000;       // longest wait for a pending write
constexpr size_t serialReadSize = 1024;            // one read of the receive thread
constexpr int serialProbeCount = 32;               // COM1 to COM32 are probed
// The longest single wait of the receive thread for bytes. Bytes end the
// wait at once; the bound only decides how soon SerialLink::stop() is seen.
constexpr int serialReceiveWaitMs = 20;

// Where a serial tool's frames go: the open port in the programs (the
// adapter's writeComBytes: nothing happens while no port is open, the
// outcome is not reported), a recorder in the tests. Every frame is written
// by one call.
class SerialWriter {
public:
    virtual ~SerialWriter() = default;
    virtual void writeComBytes(const uint8_t* bytes, size_t count) = 0;
};

// The port as the dialogs use it, from the user-interface thread. Exactly
// one port is open at a time.
class ComPort : public SerialWriter {
public:
    // Bit n-1 set for every COMn (n = 1 to 32) that could be opened just now;
    // a port that another program holds open is not offered.
    virtual uint32_t probeComPorts() = 0;
    // Closes the open port if any, then opens COMn with the line settings
    // above and clears both directions. False, with no port open, when the
    // device cannot be opened.
    virtual bool openComPort(int number) = 0;
    // Ends a wait that the receive thread has pending on the port, discards
    // what the driver holds in both directions and closes it. Nothing when
    // no port is open. Bytes already handed to the cutter stay there.
    virtual void closeComPort() = 0;
    virtual bool isOpen() const = 0;
};

// What the receive thread needs in addition: a bounded wait for bytes.
class SerialDevice : public ComPort {
public:
    // Waits at most timeoutMs for received bytes and reads up to capacity of
    // them into buffer. Returns the count; 0 when nothing came in time (or
    // the port was closed during the wait); -1 when no port is open or the
    // wait or the read failed (the caller pauses 1 ms and tries again). With
    // no port open, the port adapter first waits up to timeoutMs for one to
    // be opened, so an idle receive thread does not spin.
    // One thread at a time calls it; any thread may close the port meanwhile.
    virtual long readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs) = 0;
};

// Turns the mask of probeComPorts (bit n-1 set when COMn could be opened)
// into the port numbers, lowest first, as the port lists show them
// ("COM%d"). out holds room for serialProbeCount numbers; returns how many
// were written.
size_t comPortNumbers(uint32_t mask, int* out);

// The item text of a port list entry: "COM%d".
std::string comPortItemText(int number);
// The port number that an item text names: "COM" and 1 to 3 digits, 1 to
// 255. 0 for anything else, the empty text of an empty list above all.
int comPortNumberOf(const std::string& itemText);
// What the dialogs do with the text of the selected port item: open the
// port it names. False when the text names no port (an empty list) or the
// port cannot be opened; the caller shows "打开串口失败".
bool openComPortItem(ComPort& port, const std::string& itemText);

// How a receive path creates its worker threads: std::thread unless a test
// gives one of its own. Like std::thread, it throws std::system_error when
// the thread cannot be created.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
std::thread startWorker(const ThreadStarter& starter, std::function<void()> body);
