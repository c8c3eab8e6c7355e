#include "common/crc16.h"

#include <array>

namespace {

// The classic two-table form: tableHi/tableLo hold the high and low byte of
// the table-driven CRC for every index, built once at compile time.
struct CrcTables {
    std::array<uint8_t, 256> hi{};
    std::array<uint8_t, 256> lo{};
};

constexpr CrcTables makeTables()
{
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        // In the two-running-byte form the "hi" running byte holds the low
        // byte of the CRC value, so the tables are swapped accordingly.
        t.hi[i] = static_cast<uint8_t>(crc & 0xFFu);
        t.lo[i] = static_cast<uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kTables = makeTables();

}  // namespace

uint16_t crcModbus16(const uint8_t* bytes, size_t count)
{
    uint8_t hi = 0xFF;
    uint8_t lo = 0xFF;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = static_cast<uint8_t>(hi ^ bytes[i]);
        hi = static_cast<uint8_t>(lo ^ kTables.hi[index]);
        lo = kTables.lo[index];
    }
    return static_cast<uint16_t>((lo << 8) | hi);
}
