// The window shell of the programs: modeless dialogs driven by a controller,
// the main window class and its creation, the message loop; for the consoles
// the main window whose client area is a panel dialog, the about box and the
// modal details dialog. The procedures only translate messages into calls of
// the controller and the view.
#pragma once
#include <windows.h>

#include <functional>

#include "platform/win32/dialogView.h"

// What a hosted dialog's procedure hands on to its controller.
class DialogHooks {
public:
    virtual ~DialogHooks() = default;
    virtual void onInit() = 0;  // WM_INITDIALOG, once the view is attached
    // Every WM_COMMAND: the control (or menu, accelerator) identifier and
    // the notification code.
    virtual void onCommand(int id, int code) = 0;
    virtual void onTimer(int id) = 0;
    virtual void onDestroy() = 0;  // WM_DESTROY, before the view is detached
};

// A modeless dialog's view and controller hooks; both outlive its window.
struct DialogHost {
    DialogSurface* view;
    DialogHooks* hooks;
};

// Creates dialog resource `dialog` as a modeless child of parent, driven by
// host, and shows it; its WM_INITDIALOG has run when this returns. Null when
// the dialog cannot be created.
HWND createHostedDialog(HINSTANCE instance, int dialog, HWND parent, DialogHost& host);

// createHostedDialog, then the dialog is moved over parent's whole client
// area: the tools whose window is one dialog.
HWND createClientDialog(HINSTANCE instance, int dialog, HWND parent, DialogHost& host);

// WM_SETFOCUS of a main window that hosts dialogs: the keyboard goes to its
// topmost child dialog.
LRESULT focusTopDialog(HWND main);

// Registers a main window class: redrawn on size changes, arrow cursor,
// window-colour background, no menu.
bool registerMainWindowClass(HINSTANCE instance, const wchar_t* className, int icon, int smallIcon,
                             WNDPROC procedure);

// A main window's class name and title, from the string table.
struct MainWindowNames {
    static constexpr int maxChars = 100;
    wchar_t className[maxChars] = {};
    wchar_t title[maxChars] = {};
};

// Loads the class name and title strings into names and registers the
// class (registerMainWindowClass). False when the class name is missing or
// the class cannot be registered.
bool registerMainWindowFromStrings(HINSTANCE instance, int classString, int titleString, int icon,
                                   int smallIcon, WNDPROC procedure, MainWindowNames& names);

// A main window with caption, system menu, minimise and maximise boxes and
// no sizing border; param reaches WM_NCCREATE and WM_CREATE.
HWND createMainWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, int x,
                      int y, int width, int height, void* param);

// What a main window's procedure keeps in the window's user data: the
// creation parameter, stored at WM_NCCREATE; null before it.
void* mainWindowState(HWND window, UINT message, LPARAM lParam);

// Runs the message loop until WM_QUIT and returns its code. Accelerators
// (none when null) go to main; keyboard navigation goes to the child dialog
// of main that holds the message's window.
int runMessageLoop(HWND main, HACCEL accelerators);
// The same without accelerators and without dialog navigation: every
// message goes straight to its window (Tab does not move between controls).
int runPlainMessageLoop();

// What the panel's dialog procedure hands on to the controller.
class PanelHooks {
public:
    virtual ~PanelHooks() = default;
    virtual void onInit() = 0;
    virtual void onCommand(int id) = 0;
    virtual void onTimer(int id) = 0;
};

// PanelHooks for any controller with onInit, onCommand and onTimer.
template <class Controller>
class PanelHooksFor : public PanelHooks {
public:
    explicit PanelHooksFor(Controller& controller) : controller_(controller) {}
    void onInit() override { controller_.onInit(); }
    void onCommand(int id) override { controller_.onCommand(id); }
    void onTimer(int id) override { controller_.onTimer(id); }

private:
    Controller& controller_;
};

// The resources and geometry of one program's main window.
struct ShellResources {
    int classNameString;   // string table entry with the window class name
    int titleString;       // string table entry with the window title
    int icon;              // large and small icon
    int accelerators;      // accelerator table
    int panelDialog;       // the panel dialog that fills the client area
    int aboutDialog;       // modal about box
    int aboutCommand;      // command that opens it
    int width;             // window size in pixels
    int height;
    const wchar_t* propertyName;  // window property set to 1 on the main window
};

// Registers the class, creates the main window and its panel (attached to
// view, driven by hooks) and runs the message loop until the window closes
// or the panel is destroyed. Returns the WM_QUIT code, or 1 when the window
// cannot be created.
int runWindowShell(HINSTANCE instance, const ShellResources& resources, DialogSurface& view,
                   PanelHooks& hooks, int showCommand);

// The details dialog: its resource, the list view inside it and its timer.
struct DetailsLayout {
    int dialog;
    int listX, listY, listWidth, listHeight;  // pixels
    const ListColumn* columns;
    int columnCount;
    int timerId;
    int periodMs;
};

// Opens the details dialog modally, centred over owner's top-level window;
// onTick runs at every tick of its timer. Returns when OK or Cancel closes it.
void runDetailsDialog(HINSTANCE instance, HWND owner, const DetailsLayout& layout,
                      ListDetailsView& list, const std::function<void()>& onTick);
