#include "common/textCodec.h"

#include <windows.h>

namespace {

std::wstring toWide(UINT codePage, const std::string& in)
{
    if (in.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, in.data(), int(in.size()), nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, in.data(), int(in.size()), &w[0], n);
    return w;
}

std::string fromWide(UINT codePage, const std::wstring& in)
{
    if (in.empty())
        return std::string();
    const int n =
        WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), &s[0], n, nullptr, nullptr);
    return s;
}

class Win32TextCodec : public TextCodec {
public:
    std::string utf8ToGbk(const std::string& utf8) const override
    {
        return fromWide(936, toWide(CP_UTF8, utf8));
    }
    std::string gbkToUtf8(const std::string& gbk) const override
    {
        return fromWide(CP_UTF8, toWide(936, gbk));
    }
};

}  // namespace

const TextCodec& systemTextCodec()
{
    static const Win32TextCodec codec;
    return codec;
}
