#include "serial/configFrame.h"

#include <cstring>

#include "common/crc16.h"

uint16_t crc16Modbus(const uint8_t* bytes, size_t count)
{
    if (!bytes || count == 0)
        return 0;
    return crcModbus16(bytes, count);
}

size_t buildConfigFrame(uint8_t* out, size_t outSize, uint8_t level, uint8_t command,
                        const uint8_t* payload, size_t length)
{
    if (!out || length > 0xFFFF || (length > 0 && !payload) ||
        outSize < configHeaderSize + length)
        return 0;
    std::memcpy(out, configMagic, sizeof configMagic);
    out[4] = level;
    out[5] = command;
    configPut16(out + 8, uint16_t(length));
    if (length > 0)
        std::memmove(out + configHeaderSize, payload, length);
    configPut16(out + 6, crc16Modbus(out + 8, length + 2));
    return length + configHeaderSize;
}

bool sendConfigFrame(SerialWriter& writer, uint8_t command, const uint8_t* payload,
                     size_t length)
{
    if (length > configMaxRequestPayload)
        return false;
    uint8_t frame[configHeaderSize + configMaxRequestPayload];
    const size_t total = buildConfigFrame(frame, sizeof frame, 0, command, payload, length);
    if (total == 0)
        return false;
    writer.writeComBytes(frame, total);
    return true;
}

void sendReadRequest(SerialWriter& writer)
{
    writer.writeComBytes(configReadRequest, sizeof configReadRequest);
}

bool sendWriteRequest(SerialWriter& writer, const uint8_t* payload, size_t length)
{
    return sendConfigFrame(writer, configCmdWriteRequest, payload, length);
}

ConfigCheck configFrameCheck(const uint8_t* frame, size_t total, ConfigFrame* out)
{
    if (!frame || total < configHeaderSize)
        return ConfigCheck::tooShort;
    if (std::memcmp(frame, configMagic, sizeof configMagic) != 0)
        return ConfigCheck::badMagic;
    const size_t length = configGet16(frame + 8);
    if (total != length + configHeaderSize)
        return ConfigCheck::badLength;
    if (crc16Modbus(frame + 8, total - 8) != configGet16(frame + 6))
        return ConfigCheck::badCrc;
    if (out) {
        out->level = frame[4];
        out->command = frame[5];
        out->payload = frame + configHeaderSize;
        out->length = length;
    }
    return ConfigCheck::ok;
}

ConfigDispatch dispatchFrame(const uint8_t* frame, size_t total, ConfigReplyHandler& handler)
{
    ConfigFrame f;
    if (configFrameCheck(frame, total, &f) != ConfigCheck::ok)
        return ConfigDispatch::rejected;
    switch (f.command) {
    case configCmdParamReply:
        handler.onParameterReply(f.level, f.payload, f.length);
        return ConfigDispatch::parameterReply;
    case configCmdWriteAck:
        handler.onWriteAcknowledged();
        return ConfigDispatch::writeAcknowledged;
    default:
        return ConfigDispatch::ignored;
    }
}
