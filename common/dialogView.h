// What a dialog controller needs of its dialog: the "humble view". The Win32
// layer implements it over a dialog handle; the tests record the calls.
// All text is UTF-8 here; controls are named by their dialog identifiers.
#pragma once
#include <string>

enum class MessageStyle {
    notice,       // caption "提示", OK button
    information,  // no caption, information icon
};

class DialogView {
public:
    virtual ~DialogView() = default;
    virtual std::string text(int id) const = 0;
    virtual void setText(int id, const std::string& utf8) = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual bool checked(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;
    // The IP address control, as "a.b.c.d" ("" when all four fields are blank).
    virtual std::string address(int id) const = 0;
    virtual void setAddress(int id, const std::string& dotted) = 0;
    virtual void message(const std::string& utf8, MessageStyle style) = 0;
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void killTimer(int id) = 0;
};
