// The program body shared by the three serial tools: the main window (its
// class, creation, window property and place), the start of the threads
// that take bytes from the port, the hand-off of every cut frame to the
// window thread, the message loop, and the shutdown in one order: the
// threads end first, then the port closes. Each tool's WinMain picks its
// resources, its controller and its receive path and hands them here.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/win32/windowShell.h"
#include "serial/comPort.h"
#include "serial/frameCutter.h"

// The private message that carries a cut frame to the window thread:
// wParam the frame's total length, lParam its address.
constexpr UINT serialFrameMessage = WM_APP + 1;

// What the tools show, captioned "提示", when a thread of the receive path
// cannot be created at start-up; the program then ends with exit code 1.
extern const wchar_t serialThreadFailureText[];

// The sink of a reassembly thread: each frame is sent (SendMessage) to the
// main window, so its handlers run on the window thread and the next frame
// is cut only once they, and any message box they show, have returned.
// While the window thread shows a box of its own, the box's message loop
// takes the frame and its handler runs there.
class WindowFrameSink : public FrameSink {
public:
    // The window that takes the frames; null drops them (before the window
    // exists and once it is being destroyed).
    void setTarget(HWND window) { target_.store(window, std::memory_order_release); }
    void onFrame(const uint8_t* frame, size_t total) override;

private:
    std::atomic<HWND> target_{nullptr};
};

// The threads that take bytes from the port.
class ReceivePath {
public:
    virtual ~ReceivePath() = default;
    // Starts the threads. Throws std::system_error when one cannot be
    // created; none of them is left running then.
    virtual void start() = 0;
    // Ends the threads and waits for them.
    virtual void stop() = 0;
    // The window that takes the cut frames from now on (serialFrameMessage);
    // null: none. A path that cuts no frames has nothing to deliver.
    virtual void deliverTo(HWND window) { (void)window; }
};

// A path of any receiver with start() and stop() that cuts no frames: the
// legacy settings tool's one receive thread, whose buffer its dialog parses
// on the window's timer.
template <class Receiver>
class ReceivePathOf : public ReceivePath {
public:
    explicit ReceivePathOf(Receiver& receiver) : receiver_(receiver) {}
    void start() override { receiver_.start(); }
    void stop() override { receiver_.stop(); }

private:
    Receiver& receiver_;
};

// What a tool does with its main window.
class SerialTool {
public:
    virtual ~SerialTool() = default;
    // WM_CREATE, once the receive path runs: creates the tool's dialogs.
    // False: the window is not created and the program ends.
    virtual bool onCreate(HWND main) = 0;
    // A cut frame, on the window thread; the reassembly thread waits until
    // this returns.
    virtual void onFrame(const uint8_t* frame, size_t total)
    {
        (void)frame;
        (void)total;
    }
    // Any other message of the main window: true when handled (the window
    // procedure then returns 0).
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam)
    {
        (void)message;
        (void)wParam;
        (void)lParam;
        return false;
    }
};

// A tool whose window is one dialog over its whole client area.
class OneDialogTool : public SerialTool {
public:
    OneDialogTool(HINSTANCE instance, int dialog, DialogSurface& view, DialogHooks& hooks)
        : instance_(instance), dialog_(dialog), host_{&view, &hooks}
    {
    }
    bool onCreate(HWND main) override;

private:
    HINSTANCE instance_;
    int dialog_;
    DialogHost host_;
};

// A tool's main window: resources, place and behaviour.
struct SerialToolWindow {
    int classNameString;  // string table entries: class name and title
    int titleString;
    int icon;  // large and small icon
    int smallIcon;
    int left, top, width, height;  // where it is created, in pixels
    bool centred;                  // then moved to the centre of the screen
    bool dialogNavigation;         // Tab and the arrows move between controls
    DWORD controlClasses;          // the common control classes it needs
    const wchar_t* propertyName;   // window property set to 1 on it
};

// Runs the tool until its main window closes and returns the message loop's
// exit code; 1 when the window cannot be created, or when the receive path
// cannot start (serialThreadFailureText is shown first). Whatever happened,
// the receive path is stopped before the port closes.
int runSerialTool(HINSTANCE instance, int showCommand, const SerialToolWindow& window,
                  SerialTool& tool, ReceivePath& receive, ComPort& port);
