// The controllers' views over Win32 windows: the generic dialog view over a
// dialog handle, the console panel view with its owner-drawn grid, a details
// view over a list view, and the local clock. Wide (W) API throughout; the
// portable side speaks UTF-8, converted here.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/dialogView.h"
#include "console/consoleView.h"

namespace win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const wchar_t* text, int length);  // length -1: up to the zero

// The caption of the programs' "提示" boxes.
extern const wchar_t noticeCaption[];

}  // namespace win32

// What the shell's dialog procedure hands to the view besides the
// controller's calls: the dialog's life and its drawing. The defaults keep
// the system's look.
class DialogSurface {
public:
    virtual ~DialogSurface() = default;
    virtual void attach(HWND dialog) = 0;  // WM_INITDIALOG, before the controller's init
    virtual void detach() = 0;             // WM_DESTROY
    virtual HWND hwnd() const = 0;
    // A null brush leaves the message to the dialog manager.
    virtual HBRUSH onCtlColorDialog(HDC) { return nullptr; }
    virtual HBRUSH onCtlColorControl(HDC) { return nullptr; }
    virtual bool onDrawItem(const DRAWITEMSTRUCT&) { return false; }
};

// The DialogView operations over a dialog handle, for any view interface
// derived from DialogView (instantiated for DialogView, PanelView and the
// configuration tool's SetupView).
template <class View>
class DialogViewOver : public View, public DialogSurface {
public:
    void attach(HWND dialog) override { dialog_ = dialog; }
    void detach() override { dialog_ = nullptr; }
    HWND hwnd() const override { return dialog_; }

    std::string text(int id) const override;
    void setText(int id, const std::string& utf8) override;
    void enable(int id, bool enabled) override;
    bool checked(int id) const override;
    void setChecked(int id, bool checked) override;
    std::string address(int id) const override;
    void setAddress(int id, const std::string& dotted) override;
    void message(const std::string& utf8, MessageStyle style) override;
    void startTimer(int id, int milliseconds) override;
    void killTimer(int id) override;

protected:
    HWND dialog_ = nullptr;
};

extern template class DialogViewOver<DialogView>;
extern template class DialogViewOver<PanelView>;

// A plain dialog with the system's look.
using Win32DialogView = DialogViewOver<DialogView>;

// How a console panel draws itself: the stretched background bitmap and the
// grid of owner-drawn cells whose first headerCells form the grey header row.
struct PanelLook {
    int backgroundBitmap = 0;      // bitmap resource, 0 for none
    const int* cellIds = nullptr;  // control ids in row order
    int cellCount = 0;
    int headerCells = 0;
};

constexpr int panelMaxCells = 128;
constexpr int cellTextMax = 64;  // wide characters read per cell, zero included

// The console main panel: the dialog view plus the grid and the details.
class Win32PanelView : public DialogViewOver<PanelView> {
public:
    Win32PanelView(HINSTANCE instance, const PanelLook& look);
    ~Win32PanelView() override;
    Win32PanelView(const Win32PanelView&) = delete;
    Win32PanelView& operator=(const Win32PanelView&) = delete;

    // Loads the background into a memory DC, creates the brushes and
    // switches the grid cells to owner drawing.
    void attach(HWND dialog) override;
    void detach() override;  // releases the drawing objects

    // What openDetails runs (the shell's modal details dialog).
    void setDetailsOpener(std::function<void()> opener) { detailsOpener_ = std::move(opener); }

    HBRUSH onCtlColorDialog(HDC dc) override;   // stretches the background, returns the hollow brush
    HBRUSH onCtlColorControl(HDC dc) override;  // labels, buttons, check boxes
    bool onDrawItem(const DRAWITEMSTRUCT& item) override;

    void setCell(int index, const std::string& utf8, bool red) override;
    void openDetails() override;

private:
    struct Cell {
        int id;
        bool red;
    };
    int cellIndex(int id) const;
    void releaseDrawing();

    HINSTANCE instance_;
    const int backgroundBitmap_;
    const int headerCells_;
    int cellCount_ = 0;
    Cell cellTable[panelMaxCells] = {};

    HDC backgroundDc_ = nullptr;
    HBITMAP background_ = nullptr;
    HGDIOBJ backgroundOld_ = nullptr;
    int backgroundWidth_ = 0;
    int backgroundHeight_ = 0;
    HBRUSH headerBrush_ = nullptr;
    HBRUSH droppedBrush_ = nullptr;
    HBRUSH liveBrush_ = nullptr;
    HBRUSH controlBrush_ = nullptr;
    std::function<void()> detailsOpener_;
};

// A details list column: header text and width in pixels.
struct ListColumn {
    const wchar_t* title;
    int width;
};

// A DetailsView over a report-view list control.
class ListDetailsView : public DetailsView {
public:
    // Creates the list view as a child of parent (rectangle in pixels) with
    // centred columns. Returns false when the control cannot be created.
    bool create(HWND parent, int x, int y, int width, int height, const ListColumn* columns,
                int columnCount);
    void release() { list_ = nullptr; }  // the control dies with its parent
    HWND hwnd() const { return list_; }

    void showRows(const std::vector<std::vector<std::string>>& rows) override;

private:
    HWND list_ = nullptr;
    int columnCount_ = 0;
};

// The PC's local date and time.
class LocalClock : public Clock {
public:
    LocalTime now() const override;
};
