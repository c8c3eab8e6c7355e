// Recording fakes for the configuration tool's controllers: a dialog view
// that keeps the state of its controls as the Win32 controls would, a main
// window that creates and destroys the registered dialogs, and a port that
// records what is opened and written. Plus builders of replies and records.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/textCodec.h"
#include "serial/configFrame.h"
#include "serial/paramRecords.h"
#include "setup/resource.h"
#include "setup/setupShell.h"
#include "setup/setupView.h"

using Bytes = std::vector<uint8_t>;

enum class BoxKind { information, captionOnly, notice };

struct Box {
    std::string text;
    BoxKind kind;
};

class FakeSetupView : public SetupView {
public:
    // Controls created hidden by the dialog resource.
    explicit FakeSetupView(std::set<int> hiddenAtStart = {}) : hiddenAtStart_(std::move(hiddenAtStart))
    {
        reset();
    }

    // A new dialog: every control as the resource creates it.
    void reset()
    {
        texts.clear();
        disabled.clear();
        hidden = hiddenAtStart_;
        checks.clear();
        addresses.clear();
        items.clear();
        selections.clear();
        masked.clear();
        bitmaps.clear();
        timers.clear();
        boxes.clear();
        calls.clear();
        quitCode = -1;
    }

    std::string text(int id) const override
    {
        auto list = items.find(id);
        if (list != items.end()) {
            const int sel = selection(id);
            return sel >= 0 ? list->second[size_t(sel)] : std::string();
        }
        auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    void setText(int id, const std::string& utf8) override
    {
        texts[id] = utf8;
        log("setText", id, utf8);
    }
    void enable(int id, bool on) override
    {
        if (on)
            disabled.erase(id);
        else
            disabled.insert(id);
        log("enable", id, on ? "1" : "0");
    }
    bool checked(int id) const override { return checks.count(id) && checks.at(id); }
    void setChecked(int id, bool on) override
    {
        checks[id] = on;
        log("setChecked", id, on ? "1" : "0");
    }
    std::string address(int id) const override
    {
        auto it = addresses.find(id);
        return it == addresses.end() ? std::string() : it->second;
    }
    void setAddress(int id, const std::string& dotted) override
    {
        addresses[id] = dotted;
        log("setAddress", id, dotted);
    }
    void message(const std::string& utf8, MessageStyle style) override
    {
        boxes.push_back(
            {utf8, style == MessageStyle::information ? BoxKind::information : BoxKind::captionOnly});
        log("message", 0, utf8);
        boxShowing();
    }
    void startTimer(int id, int ms) override
    {
        timers[id] = ms;
        log("startTimer", id, std::to_string(ms));
    }
    void killTimer(int id) override
    {
        timers.erase(id);
        log("killTimer", id, "");
    }

    void show(int id, bool visible) override
    {
        if (visible)
            hidden.erase(id);
        else
            hidden.insert(id);
        log("show", id, visible ? "1" : "0");
    }
    void clearItems(int id) override
    {
        items[id].clear();
        selections[id] = -1;
        log("clearItems", id, "");
    }
    void addItem(int id, const std::string& utf8) override
    {
        items[id].push_back(utf8);
        log("addItem", id, utf8);
    }
    int selection(int id) const override
    {
        auto it = selections.find(id);
        return it == selections.end() ? -1 : it->second;
    }
    void setSelection(int id, int index) override
    {
        const int count = int(items[id].size());
        selections[id] = index >= 0 && index < count ? index : -1;
        log("setSelection", id, std::to_string(index));
    }
    void setPasswordMasked(int id, bool on) override
    {
        masked[id] = on;
        log("setPasswordMasked", id, on ? "1" : "0");
    }
    void setButtonBitmap(int id, int bitmap) override
    {
        bitmaps[id] = bitmap;
        log("setButtonBitmap", id, std::to_string(bitmap));
    }
    void notice(const std::string& utf8) override
    {
        boxes.push_back({utf8, BoxKind::notice});
        log("notice", 0, utf8);
        boxShowing();
    }
    void postQuit(int code) override { quitCode = code; }

    // What the user does.
    void type(int id, const std::string& utf8) { texts[id] = utf8; }
    void typeAddress(int id, const std::string& dotted) { addresses[id] = dotted; }
    void pick(int id, int index) { selections[id] = index; }
    void toggle(int id) { checks[id] = !checked(id); }

    bool isEnabled(int id) const { return disabled.count(id) == 0; }
    bool isVisible(int id) const { return hidden.count(id) == 0; }
    bool timerRunning(int id) const { return timers.count(id) != 0; }
    std::vector<std::string> boxTexts() const
    {
        std::vector<std::string> out;
        for (const Box& b : boxes)
            out.push_back(b.text);
        return out;
    }
    const std::vector<std::string>& itemsOf(int id) { return items[id]; }

    std::map<int, std::string> texts;
    std::set<int> disabled;  // controls start enabled
    std::set<int> hidden;
    std::map<int, bool> checks;
    std::map<int, std::string> addresses;
    std::map<int, std::vector<std::string>> items;
    std::map<int, int> selections;
    std::map<int, bool> masked;
    std::map<int, int> bitmaps;
    std::map<int, int> timers;
    std::vector<Box> boxes;
    std::vector<std::string> calls;  // "setText 1002 关闭串口", in order
    int quitCode = -1;
    // Runs once, while the next message box of this view shows: what the
    // box's own message loop handles before the user closes it (a frame
    // the reassembly thread hands over, a tick of a timer).
    std::function<void()> whileNextBox;

private:
    void boxShowing()
    {
        if (!whileNextBox)
            return;
        const std::function<void()> meanwhile = std::move(whileNextBox);
        whileNextBox = nullptr;
        meanwhile();
    }
    void log(const char* what, int id, const std::string& arg)
    {
        calls.push_back(std::string(what) + " " + std::to_string(id) + (arg.empty() ? "" : " " + arg));
    }
    std::set<int> hiddenAtStart_;
};

class FakeComPort : public ComPort {
public:
    uint32_t probeMask = (1u << 0) | (1u << 4);  // COM1 and COM5
    std::set<int> openable = {1, 5};
    std::vector<int> opens;       // every openComPort call
    int probes = 0;
    int closes = 0;               // closes of an open port
    std::vector<Bytes> writes;    // what reached an open port
    int current = 0;              // the open port, 0 when none

    uint32_t probeComPorts() override
    {
        ++probes;
        return probeMask;
    }
    bool openComPort(int number) override
    {
        closeComPort();
        opens.push_back(number);
        if (!openable.count(number))
            return false;
        current = number;
        return true;
    }
    void closeComPort() override
    {
        if (current != 0)
            ++closes;
        current = 0;
    }
    bool isOpen() const override { return current != 0; }
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        if (current != 0)
            writes.emplace_back(bytes, bytes + count);
    }
};

class FakeSetupWindow : public SetupWindow {
public:
    SetupShell* shell = nullptr;
    WindowRect rect = SetupShell::startRect();
    std::map<int, SetupPage*> dialogs;
    std::map<int, FakeSetupView*> views;
    std::vector<int> created;
    std::vector<int> destroyed;
    int modelReadySent = 0;

    void add(SetupPage& page, FakeSetupView& view)
    {
        dialogs[page.dialogId()] = &page;
        views[page.dialogId()] = &view;
    }

    WindowRect windowRect() const override { return rect; }
    void setWindowRect(const WindowRect& r) override { rect = r; }
    void createDialog(int id) override
    {
        created.push_back(id);
        auto it = dialogs.find(id);
        if (it == dialogs.end())
            return;  // a page not built here
        views[id]->reset();
        it->second->onInit();
    }
    void destroyDialog(int id) override
    {
        destroyed.push_back(id);
        auto it = dialogs.find(id);
        if (it == dialogs.end())
            return;
        it->second->onDestroy();
        views[id]->timers.clear();  // a destroyed window's timers die with it
    }
    void sendModelReady(const ModelReadyBlock& block) override
    {
        ++modelReadySent;
        shell->onModelReady(block);
    }
};

// A frame from the reader.
inline Bytes replyFrame(uint8_t level, uint8_t command, const Bytes& payload)
{
    Bytes f(configHeaderSize + payload.size());
    buildConfigFrame(f.data(), f.size(), level, command, payload.data(), payload.size());
    return f;
}

// A parameter record built field by field at its offsets.
class RecordBuilder {
public:
    explicit RecordBuilder(size_t size) : bytes(size, 0) {}
    RecordBuilder& version(const char* text) { return put(0, text, std::strlen(text)); }
    RecordBuilder& u8(size_t at, uint8_t v)
    {
        bytes.at(at) = v;
        return *this;
    }
    RecordBuilder& u16(size_t at, uint16_t v)
    {
        bytes.at(at + 1);
        configPut16(&bytes[at], v);
        return *this;
    }
    RecordBuilder& u32(size_t at, uint32_t v)
    {
        bytes.at(at + 3);
        configPut32(&bytes[at], v);
        return *this;
    }
    RecordBuilder& text(size_t at, const std::string& s) { return put(at, s.data(), s.size()); }
    RecordBuilder& raw(size_t at, std::initializer_list<uint8_t> v)
    {
        size_t i = at;
        for (uint8_t b : v)
            bytes.at(i++) = b;
        return *this;
    }
    Bytes bytes;

private:
    RecordBuilder& put(size_t at, const void* p, size_t n)
    {
        bytes.at(at + n - 1);
        std::memcpy(&bytes[at], p, n);
        return *this;
    }
};

inline const Bytes& readRequestBytes()
{
    static const Bytes r(configReadRequest, configReadRequest + configHeaderSize);
    return r;
}

// The write request frame that carries payload.
inline Bytes writeFrame(const Bytes& payload)
{
    return replyFrame(0, configCmdWriteRequest, payload);
}

// GBK bytes of a UTF-8 text, through the platform's codec.
inline std::string gbkOf(const std::string& utf8) { return systemTextCodec().utf8ToGbk(utf8); }
