// The frame of the configuration tool: the main window's behaviour, the
// reply countdown shared by every dialog, the model-ready block, and the
// step that turns a reader's parameter reply into the page for its model.
//
// Threads: the programs hand every cut frame to the window thread
// synchronously, so dispatchFrame, onParameterReply, onWriteAcknowledged,
// WM_MODEL_READY and every dialog run there, one after the other. The reply
// countdown (written by the reply handlers and counted down by the timers)
// and the current page are atomics all the same: they are the words a
// dispatcher on the reassembly thread would share with the window thread.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"
#include "setup/setupView.h"

// WM_MODEL_READY (WM_USER + 1): sent to the main window, wParam 0, lParam the
// address of the model-ready block.
constexpr unsigned setupModelReadyMessage = 0x0401;

// The last accepted parameter reply.
struct ModelReadyBlock {
    int32_t portIndex = 0;   // selected item of the current page's port list when it came
    int32_t modelCode = 0;   // byte 16 of the record
    ParamRecordStore record; // the reply's payload (zeros beyond a short reply)
    int32_t level = 0;       // byte 4 of the reply frame
};

// A model page: its dialog and how far the main window rises and grows
// (pixels) when it is created.
struct PageGrowth {
    int model;
    int dialog;
    int rise;
    int growth;
};

// The pages of this build (V3.6).
extern const PageGrowth setupPagesV36[7];

struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Window size while only the port-choice dialog shows.
constexpr int setupWindowWidth = 582;
constexpr int setupWindowHeight = 190;
constexpr int setupReplyTicks = 3;  // ticks of timer 1 a request waits for its reply
constexpr int setupTimerMs = 1000;

// Any dialog of the tool: the port-choice dialog or a model page.
class SetupPage {
public:
    virtual ~SetupPage() = default;
    virtual int dialogId() const = 0;
    virtual SetupView& view() = 0;
    // WM_INITDIALOG; the shell sends it again to refresh a page from a new record.
    virtual void onInit() = 0;
    // WM_COMMAND: the control identifier; notification codes do not matter.
    virtual void onCommand(int id) = 0;
    virtual void onTimer(int id) = 0;
    virtual void onDestroy() = 0;
    // The dialog has opened the port (and shows "关闭串口").
    virtual bool portOpen() const = 0;
};

// The main window as the shell drives it.
class SetupWindow {
public:
    virtual ~SetupWindow() = default;
    // The window's normal rectangle: where it is, or, while it is minimised
    // or maximised, where restoring it puts it back.
    virtual WindowRect windowRect() const = 0;
    // Moves and sizes the normal rectangle, keeping the Z order, frame
    // recalculated; a minimised or maximised window stays so and takes the
    // rectangle when it is restored.
    virtual void setWindowRect(const WindowRect& rect) = 0;
    // Creates the dialog as a modeless child of the main window; its
    // WM_INITDIALOG has run when this returns.
    virtual void createDialog(int dialogId) = 0;
    virtual void destroyDialog(int dialogId) = 0;
    // Sends WM_MODEL_READY with the block and returns when the window has
    // handled it (SetupShell::onModelReady).
    virtual void sendModelReady(const ModelReadyBlock& block) = 0;
};

class SetupShell : public ConfigReplyHandler {
public:
    // sortedLists: the port and connect-mode lists keep their items sorted
    // (the older builds); they are still read and set by item index.
    SetupShell(ComPort& port, SetupWindow& window, const PageGrowth* pages, size_t pageCount,
               bool sortedLists = false);
    template <size_t N>
    SetupShell(ComPort& port, SetupWindow& window, const PageGrowth (&pages)[N])
        : SetupShell(port, window, pages, N)
    {
    }

    // The window is created at 550, 180 with 582 x 190 pixels and then moved
    // to the centre of the screen.
    static WindowRect startRect();
    static WindowRect centred(const WindowRect& rect, int screenWidth, int screenHeight);

    // While the main window is being created (after the link's threads have
    // started): creates the port-choice dialog.
    void onCreate();
    // WM_MODEL_READY: the choice of page.
    void onModelReady(const ModelReadyBlock& block);

    // ConfigReplyHandler (dispatchFrame).
    void onParameterReply(uint8_t level, const uint8_t* payload, size_t length) override;
    void onWriteAcknowledged() override;

    // What the dialogs share.
    ComPort& port() { return port_; }
    void setCurrentPage(SetupPage* page) { current_.store(page, std::memory_order_release); }
    SetupPage* currentPage() const { return current_.load(std::memory_order_acquire); }
    // What a pending request waits for: the record (a read request) or the
    // acknowledgement of a write.
    enum class Awaited : uint8_t { record, writeAck };
    // A request went out: its answer is waited for three ticks.
    void armReply(Awaited what)
    {
        awaited_.store(what, std::memory_order_relaxed);
        countdown_.store(setupReplyTicks, std::memory_order_release);
    }
    // One tick of timer 1: counts down a pending reply. True when this tick
    // ran the countdown out (the dialog then shows the time-out and closes
    // its port); a reply that clears the countdown meanwhile wins. From
    // then until the next request the reply has expired: a parameter reply
    // or acknowledgement cut then (while the time-out box shows, say) counts
    // as no reply and is dropped.
    bool replyTick();
    // Ticks left for the pending reply; 0 when nothing is pending.
    int32_t replyCountdown() const
    {
        return std::max(countdown_.load(std::memory_order_acquire), int32_t(0));
    }
    bool replyExpired() const { return countdown_.load(std::memory_order_acquire) == replyExpiredMark; }
    // A model page has been created (it lives until the program ends).
    bool pageCreated() const { return pageCreated_; }
    const ModelReadyBlock& modelReady() const { return block_; }
    // The page row of a model code in this build, or null.
    const PageGrowth* pageFor(int model) const;
    bool sortedLists() const { return sortedLists_; }
    // The items of a list in the order it shows them: as given, or sorted
    // by their bytes in the reader's code page when the lists are sorted
    // (the code page orders the common Chinese characters by their reading,
    // so "等待平台连接（默认）" stays ahead of "主动连接平台", and "COM10" comes
    // before "COM2").
    std::vector<std::string> listOrder(std::vector<std::string> items) const;

private:
    ComPort& port_;
    SetupWindow& window_;
    const PageGrowth* pages_;
    size_t pageCount_;
    bool sortedLists_;
    // What the countdown word holds once a tick ran it out, until the next
    // request.
    static constexpr int32_t replyExpiredMark = -1;

    std::atomic<SetupPage*> current_{nullptr};
    std::atomic<int32_t> countdown_{0};
    std::atomic<Awaited> awaited_{Awaited::record};
    ModelReadyBlock block_;
    bool pageCreated_ = false;
};

// Shared by the port-choice dialog and the pages: the port list, the open of
// the selected item, and timer 1.
class SetupDialog : public SetupPage {
public:
    int dialogId() const override { return dialogId_; }
    SetupView& view() override { return view_; }
    bool portOpen() const override { return portOpen_; }

protected:
    SetupDialog(SetupShell& shell, SetupView& view, int dialogId)
        : shell_(shell), view_(view), dialogId_(dialogId)
    {
    }
    // Probes the ports and, when addItems, adds a "COM%d" item to the port
    // list for each one found.
    void probePorts(bool addItems);
    // openComPort with the text of the selected port item.
    bool openSelectedPort();
    // openSelectedPort, or "打开串口失败" and false.
    bool openSelectedPortOrComplain();
    // The port goes out: closed, then showPortClosed().
    void closePortSteps();
    // The dialog shows its port closed: timer 1 killed, "打开串口", the list
    // enabled; the next press of 1002 opens.
    void showPortClosed();
    // A read request goes out on the open port: the reply is awaited for
    // three ticks of timer 1; "关闭串口", the list disabled.
    void requestSteps();
    // Timer 1: the countdown; when it runs out, "不能和设备正常通信，请检查设备是否上电"
    // and a click of the dialog's own port button, which closes the port.
    void replyTimer(int id);

    SetupShell& shell_;
    SetupView& view_;
    const int dialogId_;
    bool portOpen_ = false;
};

// Dialog 103, the first dialog: a port list and "打开串口".
class PortChoiceDialog : public SetupDialog {
public:
    PortChoiceDialog(SetupShell& shell, SetupView& view);
    void onInit() override;
    void onCommand(int id) override;
    void onTimer(int id) override { replyTimer(id); }
    void onDestroy() override {}
};
