// The configuration tool's Win32 adapters: its dialogs' view over a dialog
// handle (drop-down lists, password masking, the owner-drawn eye button),
// the main window as the shell drives it (size, the dialogs it hosts,
// WM_MODEL_READY), and the hand-off of every cut frame from the reassembly
// thread to the window thread.
#pragma once
#include <windows.h>

#include <atomic>

#include "platform/win32/dialogView.h"
#include "platform/win32/windowShell.h"
#include "serial/frameCutter.h"
#include "setup/setupShell.h"
#include "setup/setupView.h"

extern template class DialogViewOver<SetupView>;

// A dialog of the tool. Bitmaps are loaded from the program's resources
// when a button is first given one and freed when the dialog is destroyed.
class Win32SetupView : public DialogViewOver<SetupView> {
public:
    explicit Win32SetupView(HINSTANCE instance) : instance_(instance) {}
    ~Win32SetupView() override;
    Win32SetupView(const Win32SetupView&) = delete;
    Win32SetupView& operator=(const Win32SetupView&) = delete;

    void detach() override;  // frees the bitmaps and forgets the buttons
    // The buttons given a bitmap: the button face, then the bitmap.
    bool onDrawItem(const DRAWITEMSTRUCT& item) override;

    void show(int id, bool visible) override;
    void clearItems(int id) override;
    void addItem(int id, const std::string& utf8) override;
    int selection(int id) const override;
    void setSelection(int id, int index) override;
    void setPasswordMasked(int id, bool masked) override;
    void setButtonBitmap(int id, int bitmap) override;
    void notice(const std::string& utf8) override;
    void postQuit(int exitCode) override;

private:
    static constexpr int maxImages = 4;
    struct ButtonImage {
        int button = 0;  // 0: free entry
        int resource = 0;
    };
    struct LoadedBitmap {
        int resource = 0;
        HBITMAP handle = nullptr;
    };
    HBITMAP bitmap(int resource);  // loads it once; null when it cannot be loaded
    const ButtonImage* buttonImage(int button) const;
    void releaseBitmaps();

    HINSTANCE instance_;
    ButtonImage buttons_[maxImages] = {};
    LoadedBitmap bitmaps_[maxImages] = {};
};

// The main window: the tool's dialogs are modeless children created from
// their resources, each with its controller and view registered here.
class Win32SetupWindow : public SetupWindow {
public:
    static constexpr int maxDialogs = 8;

    explicit Win32SetupWindow(HINSTANCE instance) : instance_(instance) {}
    Win32SetupWindow(const Win32SetupWindow&) = delete;
    Win32SetupWindow& operator=(const Win32SetupWindow&) = delete;

    // The dialog that createDialog(page.dialogId()) creates. False when the
    // table is full or the dialog is registered already.
    bool add(SetupPage& page, Win32SetupView& view);
    bool has(int dialogId) const { return slot(dialogId) != nullptr; }
    // The main window, from its WM_CREATE on.
    void setMainWindow(HWND main) { main_ = main; }
    HWND mainWindow() const { return main_; }

    WindowRect windowRect() const override;
    void setWindowRect(const WindowRect& rect) override;
    // A dialog of the same resource that is still open (the port-choice
    // dialog created again over a page) is destroyed first: one window per
    // dialog, driven by its one controller and view. A dialog that is not
    // registered is not created.
    void createDialog(int dialogId) override;
    void destroyDialog(int dialogId) override;
    void sendModelReady(const ModelReadyBlock& block) override;

private:
    // A dialog's controller seen through the hosted dialog's hooks.
    class PageHooks : public DialogHooks {
    public:
        SetupPage* page = nullptr;
        void onInit() override { page->onInit(); }
        // The notification code does not matter to the tool's dialogs.
        void onCommand(int id, int) override { page->onCommand(id); }
        void onTimer(int id) override { page->onTimer(id); }
        void onDestroy() override { page->onDestroy(); }
    };
    struct Slot {
        PageHooks hooks;
        Win32SetupView* view = nullptr;
        DialogHost host = {};
    };
    Slot* slot(int dialogId);
    const Slot* slot(int dialogId) const;
    // True with the placement when the main window is minimised or maximised.
    bool placed(WINDOWPLACEMENT& placement) const;

    HINSTANCE instance_;
    HWND main_ = nullptr;
    Slot slots_[maxDialogs];
    int count_ = 0;
};

// The private message that carries a cut frame to the window thread:
// wParam the frame's total length, lParam its address.
constexpr UINT setupFrameMessage = WM_APP + 1;

// The sink of the reassembly thread: each frame is sent (SendMessage) to the
// main window, so its handlers run on the window thread and the next frame
// is cut only once they, and any message box they show, have returned.
class WindowFrameSink : public FrameSink {
public:
    // The window that takes the frames; null drops them (before the window
    // exists and once it is being destroyed).
    void setTarget(HWND window) { target_.store(window, std::memory_order_release); }
    void onFrame(const uint8_t* frame, size_t total) override;

private:
    std::atomic<HWND> target_{nullptr};
};
