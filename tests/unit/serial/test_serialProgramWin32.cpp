// The serial tools' program body under Windows (Wine here): a receive
// thread that cannot be created ends the start-up with its message, and the
// hand-off of cut frames to the window thread (SendMessage) holds up while a
// message box is open and while the window closes. The tool is a small test
// tool over the real body, the real serial link and a scripted device.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "linkFixture.h"
#include "platform/win32/linkReceivePath.h"
#include "serialProgramTest.h"
#include "threadFaults.h"

namespace {

constexpr UINT kOpenBox = WM_APP + 20;  // the tool opens a box of its own

const SerialToolWindow kWindow = {
    IDS_TEST_CLASS, IDS_TEST_TITLE, 0, 0, 0, 0, 240, 120,
    false, false, ICC_WIN95_CLASSES, L"serialProgramTest__property",
};

// Records what reaches the tool; each test gives it its behaviour.
class TestTool : public SerialTool {
public:
    bool onCreate(HWND main) override
    {
        main_ = main;
        windowThread = GetCurrentThreadId();
        if (onCreated)
            onCreated(main);
        return true;
    }
    void onFrame(const uint8_t* frame, size_t total) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            frames.emplace_back(frame, frame + total);
            if (GetCurrentThreadId() != windowThread)
                ++offThread;
            if (destroyed)
                ++afterDestroy;
        }
        if (onEach)
            onEach(frameCount());
    }
    bool onMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_NCDESTROY)
            destroyed = true;
        if (message == kOpenBox && onOpenBox) {
            onOpenBox();
            return true;
        }
        return false;
    }
    size_t frameCount()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return frames.size();
    }
    HWND main() const { return main_; }

    std::function<void(HWND)> onCreated;
    std::function<void(size_t)> onEach;  // after the frame is recorded
    std::function<void()> onOpenBox;
    std::vector<Bytes> frames;
    std::atomic<DWORD> windowThread{0};
    std::atomic<bool> destroyed{false};
    int offThread = 0;
    int afterDestroy = 0;

private:
    std::mutex lock_;
    HWND main_ = nullptr;
};

// A visible message box of the thread, or null.
HWND boxOf(DWORD thread)
{
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND w, LPARAM out) {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (std::wstring(cls) == L"#32770" && IsWindowVisible(w)) {
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }
            return TRUE;
        },
        LPARAM(&found));
    return found;
}

std::wstring textOf(HWND window, int id)
{
    wchar_t text[128] = {};
    if (id)
        GetDlgItemTextW(window, id, text, 128);
    else
        GetWindowTextW(window, text, 128);
    return text;
}

// Runs the body with the test tool; the class is registered anew each time.
int run(TestTool& tool, ReceivePath& receive, ComPort& port)
{
    const int result = runSerialTool(GetModuleHandleW(nullptr), SW_HIDE, kWindow, tool, receive,
                                     port);
    wchar_t name[64] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDS_TEST_CLASS, name, 64);
    UnregisterClassW(name, GetModuleHandleW(nullptr));
    return result;
}

// Waits (bounded) for a box of the thread and closes it with OK.
HWND answerBox(DWORD thread, std::wstring* text = nullptr, std::wstring* caption = nullptr)
{
    HWND box = nullptr;
    if (!waitUntil([&] { return (box = boxOf(thread)) != nullptr; }))
        return nullptr;
    if (text)
        *text = textOf(box, 0xFFFF);
    if (caption)
        *caption = textOf(box, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return box;
}

}  // namespace

TEST(SerialProgram, AReceiveThreadThatCannotBeCreatedEndsTheStartWithItsMessage)
{
    // The receive thread (1) or the reassembly thread (2) cannot be created.
    for (int failAt : {1, 2}) {
        ScriptedDevice device;
        LinkReceivePath receive(device);
        int calls = 0;
        receive.link().setThreadStarter(threadStarterFailingAt(failAt, &calls));
        TestTool tool;
        std::wstring text, caption;
        const DWORD self = GetCurrentThreadId();
        std::thread answer([&] { answerBox(self, &text, &caption); });
        EXPECT_EQ(run(tool, receive, device), 1) << failAt;
        answer.join();
        // No quit message was posted: it would have closed the box at once
        // (Windows sends WM_DESTROY to a window whose WM_CREATE failed).
        MSG quit;
        EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << failAt;
        EXPECT_EQ(text, serialThreadFailureText) << failAt;
        EXPECT_EQ(caption, L"提示") << failAt;
        EXPECT_EQ(tool.main(), nullptr) << failAt;  // no dialog was created
        EXPECT_EQ(receive.link().liveLoops(), 0) << failAt;
        EXPECT_FALSE(device.isOpen()) << failAt;  // the port is closed as at every exit
    }
}

TEST(SerialProgram, AFrameWhileTheWindowThreadShowsABoxIsHandledThereOnce)
{
    // The window thread shows a box of its own (as the reply time-out does);
    // a frame that comes meanwhile is handled by the box's message loop, on
    // the window thread, and the reassembly thread goes on once it returns.
    ScriptedDevice device;
    LinkReceivePath receive(device);
    TestTool tool;
    const Bytes frame = linkFrame(configCmdWriteAck, {});
    bool boxWasOpen = false;
    tool.onCreated = [](HWND main) { PostMessageW(main, kOpenBox, 0, 0); };
    tool.onOpenBox = [&] {
        // The box closes once the frame has been handled (or, should it never
        // come, after the wait's bound).
        const DWORD self = GetCurrentThreadId();
        std::thread answer([&] {
            waitUntil([&] { return tool.frameCount() > 0; });
            answerBox(self);
        });
        device.feed(frame);
        MessageBoxW(tool.main(), L"box", L"", MB_OK);
        answer.join();
        PostMessageW(tool.main(), WM_CLOSE, 0, 0);
    };
    tool.onEach = [&](size_t) { boxWasOpen = boxOf(GetCurrentThreadId()) != nullptr; };
    EXPECT_EQ(run(tool, receive, device), 0);
    EXPECT_EQ(tool.frames, std::vector<Bytes>({frame}));
    EXPECT_TRUE(boxWasOpen);
    EXPECT_EQ(tool.offThread, 0);
    EXPECT_EQ(receive.link().liveLoops(), 0);
}

TEST(SerialProgram, ABoxOfAFrameHandlerHoldsBackTheNextFrame)
{
    // Two frames in one read: while the first one's handler shows a box, the
    // second stays uncut in the assembly buffer; it comes once the box is
    // closed.
    ScriptedDevice device;
    LinkReceivePath receive(device);
    TestTool tool;
    const Bytes first = linkFrame(configCmdWriteAck, {1});
    const Bytes second = linkFrame(configCmdWriteAck, {2});
    size_t heldDuringBox = 0;
    size_t framesDuringBox = 0;
    tool.onCreated = [&](HWND) { device.feed(joined(first, second)); };
    tool.onEach = [&](size_t n) {
        if (n == 2) {
            PostMessageW(tool.main(), WM_CLOSE, 0, 0);
            return;
        }
        const DWORD self = GetCurrentThreadId();
        std::thread answer([&] {
            answerBox(self);
        });
        // The box's own loop runs here; the checks run inside it, from a
        // message the box dispatches to the main window.
        tool.onOpenBox = [&] {
            framesDuringBox = tool.frameCount();
            heldDuringBox = receive.link().cutter().fillCount();
        };
        PostMessageW(tool.main(), kOpenBox, 0, 0);
        MessageBoxW(tool.main(), L"first", L"", MB_OK);
        answer.join();
    };
    EXPECT_EQ(run(tool, receive, device), 0);
    EXPECT_EQ(tool.frames, std::vector<Bytes>({first, second}));
    EXPECT_EQ(framesDuringBox, 1u);
    EXPECT_EQ(heldDuringBox, first.size() + second.size());
    EXPECT_EQ(tool.offThread, 0);
}

TEST(SerialProgram, FramesAtExitNeitherHangNorReachTheDestroyedWindow)
{
    // Frames keep coming while the window closes from a frame handler, and
    // while it closes with a handler's box open: the program ends, the
    // threads are joined, and no frame reaches the tool once its window is
    // destroyed.
    for (bool boxOpen : {false, true}) {
        ScriptedDevice device;
        LinkReceivePath receive(device);
        TestTool tool;
        const Bytes frame = linkFrame(configCmdWriteAck, {});
        tool.onCreated = [&](HWND) {
            for (int i = 0; i < 200; ++i)
                device.feed(frame);
        };
        tool.onEach = [&](size_t n) {
            if (n != 20)
                return;
            if (!boxOpen) {
                PostMessageW(tool.main(), WM_CLOSE, 0, 0);
                return;
            }
            // Closed from outside while the box is open: the window goes,
            // and the box with it.
            HWND main = tool.main();
            const DWORD self = GetCurrentThreadId();
            std::thread closer([&] {
                if (waitUntil([&] { return boxOf(self) != nullptr; }))
                    PostMessageW(main, WM_CLOSE, 0, 0);
            });
            MessageBoxW(main, L"open at exit", L"", MB_OK);
            closer.join();
        };
        EXPECT_EQ(run(tool, receive, device), 0) << boxOpen;
        EXPECT_GE(tool.frameCount(), 20u) << boxOpen;
        EXPECT_EQ(tool.afterDestroy, 0) << boxOpen;
        EXPECT_EQ(tool.offThread, 0) << boxOpen;
        EXPECT_EQ(receive.link().liveLoops(), 0) << boxOpen;
        EXPECT_FALSE(device.isOpen()) << boxOpen;
    }
}
