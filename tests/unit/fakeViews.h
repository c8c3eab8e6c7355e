// Recording fakes of the console views, clock and link.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "console/consoleLink.h"
#include "console/consoleView.h"
#include "console/mainPanel.h"

struct ShownMessage {
    std::string text;
    MessageStyle style;
};

class FakePanelView : public PanelView {
public:
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    std::map<int, bool> checks;
    std::map<int, std::string> addresses;
    std::string cells[gridCells];
    bool red[gridCells] = {};
    std::vector<ShownMessage> messages;
    std::map<int, int> timers;  // id -> period; absent = not running
    int detailsOpened = 0;

    std::string text(int id) const override
    {
        auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    void setText(int id, const std::string& utf8) override { texts[id] = utf8; }
    void enable(int id, bool on) override { enabled[id] = on; }
    bool checked(int id) const override
    {
        auto it = checks.find(id);
        return it != checks.end() && it->second;
    }
    void setChecked(int id, bool on) override { checks[id] = on; }
    std::string address(int id) const override
    {
        auto it = addresses.find(id);
        return it == addresses.end() ? std::string() : it->second;
    }
    void setAddress(int id, const std::string& dotted) override { addresses[id] = dotted; }
    void setCell(int index, const std::string& utf8, bool isRed) override
    {
        cells[index] = utf8;
        red[index] = isRed;
    }
    void message(const std::string& utf8, MessageStyle style) override
    {
        messages.push_back({utf8, style});
    }
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void killTimer(int id) override { timers.erase(id); }
    void openDetails() override { ++detailsOpened; }

    bool isEnabled(int id) const
    {
        auto it = enabled.find(id);
        return it == enabled.end() || it->second;  // controls start enabled
    }
    // Data row r (0..11), column c.
    const std::string& cell(int r, int c) const { return cells[(r + 1) * gridColumns + c]; }
};

class FixedClock : public Clock {
public:
    LocalTime time{2026, 12, 10, 9, 8, 7};
    LocalTime now() const override { return time; }
};

class FakeLink : public ConsoleLink {
public:
    bool openResult = true;
    bool up = false;
    bool dropOnTick = false;  // the connection tick finds the link lost
    int opens = 0, closes = 0, ticks = 0;
    std::vector<CallFrame> calls;
    std::vector<SmsFrame> messages;

    void initInputs(PanelView& view) override { view.setText(1199, "8800"); }
    bool open(PanelView&) override
    {
        ++opens;
        return openResult;
    }
    void close() override { ++closes; }
    void tick() override
    {
        ++ticks;
        if (dropOnTick)
            up = false;
    }
    bool linkUp() const override { return up; }
    // Like the real links: nothing goes out while the link is down.
    void sendCall(const CallFrame& c) override
    {
        if (up)
            calls.push_back(c);
    }
    void sendSms(const SmsFrame& s) override
    {
        if (up)
            messages.push_back(s);
    }
    const int* modeInputs(int* count) const override
    {
        static const int ids[] = {1199, 1200, 1201};
        *count = 3;
        return ids;
    }
};
