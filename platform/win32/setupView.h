// The serial tools' dialog view over a dialog handle: the generic view
// plus drop-down lists, password masking, the owner-drawn eye button and
// the "提示" box.
#pragma once
#include <windows.h>

#include "platform/win32/dialogView.h"
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

// The one dialog of the signal filter tool and of the legacy settings tool:
// static texts in the window-text colour on the button face.
class ButtonFaceView : public Win32SetupView {
public:
    using Win32SetupView::Win32SetupView;
    HBRUSH onCtlColorControl(HDC dc) override;
};
