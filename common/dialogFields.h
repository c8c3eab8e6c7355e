// How the serial tools' dialogs read and show their fields: texts in the
// reader's code page with their byte limits, decimal numbers and IPv4
// addresses. The view speaks UTF-8; records and write payloads hold GBK
// bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/dialogView.h"
#include "common/textCodec.h"

// "a.b.c.d" of an address held with its first octet in the top byte.
std::string dottedQuad(uint32_t ip);
// Four decimal fields of 0 to 255 separated by dots, nothing else. False
// (and *ip untouched) otherwise.
bool parseDottedQuad(const std::string& text, uint32_t* ip);
// "%d".
std::string decimalText(long long value);

class DialogFields {
public:
    DialogFields(DialogView& view, const TextCodec& codec) : view_(view), codec_(codec) {}

    // The control's text in GBK, at most maxBytes of it (a double-byte
    // character is never split), as the dialogs read their inputs.
    std::string gbk(int id, size_t maxBytes) const;
    // Shows GBK bytes (a record field) in the control.
    void showGbk(int id, std::string_view gbk);
    // The address of an IP address control: false when its four fields are
    // all blank. One field typed is enough; blank fields read as 0.
    bool address(int id, uint32_t* ip) const;
    void showAddress(int id, uint32_t ip) { view_.setAddress(id, dottedQuad(ip)); }
    void clearAddress(int id) { view_.setAddress(id, std::string()); }

private:
    DialogView& view_;
    const TextCodec& codec_;
};
