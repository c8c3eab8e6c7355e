// One output line built in a fixed buffer: printf-style items and hex
// bytes, cut cleanly at the buffer's end. Shared by the frame printers.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Appends to a fixed buffer and stops cleanly at its end.
class LineBuilder {
public:
    LineBuilder(char* out, size_t cap) : out_(out), cap_(cap) { out_[0] = '\0'; }

    void add(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (len_ + 1 >= cap_)
            return;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(out_ + len_, cap_ - len_, format, args);
        va_end(args);
        if (n < 0)
            out_[len_] = '\0';
        else
            len_ = size_t(n) < cap_ - len_ ? len_ + size_t(n) : cap_ - 1;
    }

    void hex(const uint8_t* bytes, size_t count)
    {
        static const char kHex[] = "0123456789ABCDEF";
        for (size_t i = 0; i < count && len_ + 2 < cap_; ++i) {
            out_[len_++] = kHex[bytes[i] >> 4];
            out_[len_++] = kHex[bytes[i] & 0xF];
        }
        out_[len_] = '\0';
    }

    size_t length() const { return len_; }

private:
    char* out_;
    size_t cap_;
    size_t len_ = 0;
};
