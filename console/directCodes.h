// Command codes of the direct dialect, spoken by the connecting console and,
// in an older variant, by the legacy console. The console logs in to the
// reader on UDP port 4099 as the reader's wait-mode identity.
#pragma once
#include <cstdint>

enum : uint8_t {
    devCmdLogin = 0x01,
    devCmdLoginAck = 0x02,
    devCmdLabelReport = 0x03,
    devCmdHeartBeat = 0x04,
    devCmdHeartBeatAck = 0x05,
    devCmdLabelAlarm = 0x06,
    devCmdLabelAlarmAck = 0x07,
    devCmdLabelAlarmRej = 0x08,
    devCmdSms = 0x09,
    devCmdSmsAck = 0x0A,
    devCmdSmsRej = 0x0B,
    devCmdLinkReq = 0x0F,
    devCmdLinkAck = 0x10,
};

constexpr uint16_t devReaderPort = 4099;
constexpr const char* devUserName = "admin";
constexpr const char* devPassword = "314159";
