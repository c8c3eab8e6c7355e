// The signal filter tool: reads and sets the RSSI threshold of a reader's
// signal filter (-127 to 0; 0 switches the filter off) over the serial
// link, with two commands of its own on the configuration frame:
//
//   0x07 tool to reader   read the threshold          N = 0
//   0x08 reader to tool   the threshold               byte 0, two's complement
//   0x09 tool to reader   write the threshold         N = 1, two's complement
//   0x0A reader to tool   write acknowledged          not read (0x04 counts too)
//
// Opening the port sends the read request 0x01; the parameter reply puts
// the reader's version text up and asks for the threshold. Every request
// is given three ticks of the one-second timer for its answer.
//
// Portable: the dialog is reached through SetupView, the port through
// ComPort. The program hands every cut frame to the window thread, so the
// dispatcher, the dialog and its message boxes all run there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/textCodec.h"
#include "serial/configFrame.h"
#include "serial/comPort.h"
#include "setup/setupView.h"

constexpr int rssiThresholdMin = -127;
constexpr int rssiThresholdMax = 0;
constexpr int rssiReplyTicks = 3;  // ticks of timer 1 a request waits for its answer
constexpr int rssiTimerMs = 1000;

// Window geometry: created at 550, 180 with 402 x 360 pixels, then centred.
constexpr int rssiWindowLeft = 550;
constexpr int rssiWindowTop = 180;
constexpr int rssiWindowWidth = 402;
constexpr int rssiWindowHeight = 360;

// The read-threshold request: always these ten bytes.
void sendRssiReadRequest(SerialWriter& writer);
// The write-threshold request with one payload byte, the threshold in two's
// complement (-50 goes as 0xCE).
void sendRssiWriteRequest(SerialWriter& writer, int8_t threshold);

// What the apply button finds in the threshold edit.
enum class RssiInput {
    ok,          // *value holds the threshold
    empty,       // "RSSI值不能为空"
    badFormat,   // "输入格式不对": anything but an optional leading '-' and digits
    outOfRange,  // "数值范围不对": below -127 or above 0
};

// Checks the whole text: the single character 0, or a '-' only as the
// first character followed by at least one digit, or digits only; then the
// range. Long runs of digits saturate and fall out of range.
RssiInput checkRssiInput(const std::string& text, int8_t* value);
// The message of a refused input ("数值范围不对", ...); null for ok.
const char* rssiInputMessage(RssiInput input);

// The targets of the tool's reply dispatcher.
class RssiReplyHandler {
public:
    virtual ~RssiReplyHandler() = default;
    // 0x02: the parameter record (its version text heads it).
    virtual void onParameterReply(const uint8_t* payload, size_t length) = 0;
    // 0x08: payload byte 0 as a signed byte.
    virtual void onThresholdReply(int8_t threshold) = 0;
    // 0x0A, or 0x04: the write was taken.
    virtual void onThresholdWritten() = 0;
};

enum class RssiDispatch { parameterReply, thresholdReply, writeAcknowledged, ignored, rejected };

// Checks the frame of total bytes that the cutter hands over and passes it
// on by its command. A frame that fails the check (a wrong CRC above all)
// is rejected silently; a threshold reply without its byte and any other
// command are ignored. The level byte is not looked at. The result is for
// tests and traces only.
RssiDispatch rssiDispatchFrame(const uint8_t* frame, size_t total, RssiReplyHandler& handler);

// Dialog 129: the port choice, the reader's version and the threshold.
class RssiFilterDialog : public RssiReplyHandler {
public:
    RssiFilterDialog(ComPort& port, SetupView& view, const TextCodec& codec);

    // WM_INITDIALOG: the port list, the threshold edit disabled.
    void onInit();
    // WM_COMMAND: the port button and the apply button.
    void onCommand(int id);
    // WM_TIMER: the reply countdown.
    void onTimer(int id);

    // The reply dispatcher, on the window thread.
    void onFrame(const uint8_t* frame, size_t total) { rssiDispatchFrame(frame, total, *this); }
    void onParameterReply(const uint8_t* payload, size_t length) override;
    void onThresholdReply(int8_t threshold) override;
    void onThresholdWritten() override;

    bool portOpen() const { return portOpen_; }
    // Ticks left for the awaited answer; 0 when none is awaited.
    int replyCountdown() const { return countdown_; }
    // A write was sent and its acknowledgement has not come.
    bool writePending() const { return writePending_; }

private:
    void openPort();
    void closePort();
    void apply();

    ComPort& port_;
    SetupView& view_;
    const TextCodec& codec_;
    bool portOpen_ = false;
    bool writePending_ = false;
    int countdown_ = 0;
};
