// The configuration tool's main window as its shell drives it: its size,
// the dialogs it hosts (each with its controller and view) and
// WM_MODEL_READY.
#pragma once
#include <windows.h>

#include "platform/win32/setupView.h"
#include "platform/win32/windowShell.h"
#include "setup/setupShell.h"

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
