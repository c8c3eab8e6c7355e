#include "common/textCodec.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One conversion with iconv; unconvertible input becomes '?' and the
// conversion goes on after it.
std::string convert(const char* to, const char* from, const std::string& in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return in;
    std::string out;
    char buffer[256];
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, size_t(dst - buffer));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            out.push_back('?');  // invalid or unconvertible: skip one byte
            ++src;
            --left;
            // Skip the continuation bytes of a multi-byte UTF-8 character.
            while (left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80 &&
                   from[0] == 'U') {
                ++src;
                --left;
            }
        }
    }
    iconv_close(cd);
    return out;
}

class PosixTextCodec : public TextCodec {
public:
    std::string utf8ToGbk(const std::string& utf8) const override
    {
        return convert("GBK", "UTF-8", utf8);
    }
    std::string gbkToUtf8(const std::string& gbk) const override
    {
        return convert("UTF-8", "GBK", gbk);
    }
};

}  // namespace

const TextCodec& systemTextCodec()
{
    static const PosixTextCodec codec;
    return codec;
}
