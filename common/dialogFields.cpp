#include "common/dialogFields.h"

#include <cstdio>

std::string dottedQuad(uint32_t ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(ip >> 24), unsigned(ip >> 16 & 0xFF),
                  unsigned(ip >> 8 & 0xFF), unsigned(ip & 0xFF));
    return text;
}

bool parseDottedQuad(const std::string& text, uint32_t* ip)
{
    uint32_t value = 0;
    size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (at >= text.size() || text[at] != '.')
                return false;
            ++at;
        }
        unsigned octet = 0;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            octet = octet * 10 + unsigned(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || octet > 255)
            return false;
        value = value << 8 | octet;
    }
    if (at != text.size())
        return false;
    *ip = value;
    return true;
}

std::string decimalText(long long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%lld", value);
    return text;
}

std::string DialogFields::gbk(int id, size_t maxBytes) const
{
    return gbkTruncate(codec_.utf8ToGbk(view_.text(id)), maxBytes);
}

void DialogFields::showGbk(int id, std::string_view gbk)
{
    view_.setText(id, codec_.gbkToUtf8(std::string(gbk)));
}

bool DialogFields::address(int id, uint32_t* ip) const
{
    // The view gives "" for a control whose four fields are blank; anything
    // that is not an address counts the same.
    return parseDottedQuad(view_.address(id), ip);
}
