// Text on the wire is code page 936 (GBK); the windows work in UTF-8 inside
// the portable code. The conversion itself is a platform service.
#pragma once
#include <cstddef>
#include <string>

class TextCodec {
public:
    virtual ~TextCodec() = default;
    // Characters that GBK cannot hold become '?'.
    virtual std::string utf8ToGbk(const std::string& utf8) const = 0;
    virtual std::string gbkToUtf8(const std::string& gbk) const = 0;
};

// Cuts GBK bytes to at most maxBytes without splitting a double-byte
// character (a lead byte 0x81..0xFE and its trail byte stay together).
std::string gbkTruncate(const std::string& gbk, size_t maxBytes);

// The platform's converter (code page 936 on Windows, iconv on POSIX).
const TextCodec& systemTextCodec();
