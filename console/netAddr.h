// An IPv4 socket address in host byte order, free of any OS type.
#pragma once
#include <cstddef>
#include <cstdint>

struct NetAddr {
    uint32_t ip = 0;    // host order: 127.0.0.1 is 0x7F000001
    uint16_t port = 0;  // host order
    bool operator==(const NetAddr& o) const { return ip == o.ip && port == o.port; }
    bool operator!=(const NetAddr& o) const { return !(*this == o); }
};

// Where a link sends its frames: the UDP socket in the programs, a recorder
// in the tests.
class FrameSender {
public:
    virtual ~FrameSender() = default;
    virtual void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) = 0;
};

// Source of random bytes (the login challenge).
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void fill(uint8_t* out, size_t count) = 0;
};
