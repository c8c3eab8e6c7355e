// The portable face of the serial link shared by the serial tools: the
// fixed line settings that every port adapter applies, the writer through
// which frames leave, and the port list built from the probe mask.
// The adapters themselves (overlapped Win32 handles, POSIX termios) live in
// platform/ and implement SerialWriter over the open port.
#pragma once
#include <cstddef>
#include <cstdint>

// Line settings applied on every open: 115200 baud, 8 data bits, no parity,
// 1 stop bit; flow control and special characters left as the driver has them.
constexpr uint32_t serialBaudRate = 115200;
constexpr int serialDataBits = 8;
constexpr size_t serialQueueSize = 2048;           // driver queues, in and out
constexpr uint32_t serialWriteMsPerByte = 100;     // write total time-out multiplier
constexpr uint32_t serialWriteConstantMs = 500;    // write total time-out constant
constexpr uint32_t serialWriteWaitMs = 1000;       // longest wait for a pending write
constexpr size_t serialReadSize = 1024;            // one read of the receive thread
constexpr int serialProbeCount = 32;               // COM1 to COM32 are probed

// Where a serial tool's frames go: the open port in the programs (the
// adapter's writeComBytes: nothing happens while no port is open, the
// outcome is not reported), a recorder in the tests. Every frame is written
// by one call.
class SerialWriter {
public:
    virtual ~SerialWriter() = default;
    virtual void writeComBytes(const uint8_t* bytes, size_t count) = 0;
};

// Turns the mask of probeComPorts (bit n-1 set when COMn could be opened)
// into the port numbers, lowest first, as the port lists show them
// ("COM%d"). out holds room for serialProbeCount numbers; returns how many
// were written.
size_t comPortNumbers(uint32_t mask, int* out);
