// What the console controllers need of a window: the "humble view". The
// Win32 layer implements it over dialog handles; the tests record calls.
// All text is UTF-8 here.
#pragma once
#include <string>
#include <vector>

enum class MessageStyle {
    notice,       // caption "提示", OK button
    information,  // no caption, information icon
};

class PanelView {
public:
    virtual ~PanelView() = default;
    virtual std::string text(int id) const = 0;
    virtual void setText(int id, const std::string& utf8) = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual bool checked(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;
    // The IP address control, as "a.b.c.d" ("" when all four fields are blank).
    virtual std::string address(int id) const = 0;
    virtual void setAddress(int id, const std::string& dotted) = 0;
    // Grid cell `index` (0..90 in row order): its text and its red flag.
    virtual void setCell(int index, const std::string& utf8, bool red) = 0;
    virtual void message(const std::string& utf8, MessageStyle style) = 0;
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void killTimer(int id) = 0;
    virtual void openDetails() = 0;
};

class DetailsView {
public:
    virtual ~DetailsView() = default;
    // Replaces the list with these rows (each a vector of column texts).
    virtual void showRows(const std::vector<std::vector<std::string>>& rows) = 0;
};

// Local date and time for short messages.
struct LocalTime {
    int year, month, day, hour, minute, second;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};
