// CRC-16/MODBUS shared by the network frame and the serial configuration frame.
#pragma once
#include <cstddef>
#include <cstdint>

// Reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
// The check value over "123456789" is 0x4B37. Both frame families store
// the value high byte first.
uint16_t crcModbus16(const uint8_t* bytes, size_t count);
