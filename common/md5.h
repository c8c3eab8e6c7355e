// MD5 message digest (RFC 1321).
#pragma once
#include <cstddef>
#include <cstdint>

class Md5 {
public:
    Md5();
    void update(const uint8_t* data, size_t count);
    // Writes the 16-byte digest; the object must be reset before reuse.
    void finish(uint8_t digest[16]);
    void reset();

    static void digest(const uint8_t* data, size_t count, uint8_t out[16]);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t bitCount_;
    uint8_t buffer_[64];
    size_t buffered_;
};
