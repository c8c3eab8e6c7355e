#include "common/textCodec.h"

std::string gbkTruncate(const std::string& gbk, size_t maxBytes)
{
    size_t keep = 0;
    while (keep < gbk.size()) {
        const unsigned char c = static_cast<unsigned char>(gbk[keep]);
        const size_t width = (c >= 0x81 && c <= 0xFE && keep + 1 < gbk.size()) ? 2 : 1;
        if (keep + width > maxBytes)
            break;
        keep += width;
    }
    return gbk.substr(0, keep);
}
