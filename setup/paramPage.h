// What every model page shares: the model-ready block's record, the port
// steps of its initialisation (the reply handler closed the port; the page
// opens it again), the eye button beside the password, and the byte limits
// and list items of its inputs.
#pragma once
#include <cstddef>

#include "common/textCodec.h"
#include "common/dialogFields.h"
#include "setup/setupShell.h"

// Byte limits of the page inputs in GBK (the dialogs read them into 30- and
// 32-byte buffers).
constexpr size_t pageTextLimit = 29;      // names, passwords, ports
constexpr size_t pageLongTextLimit = 31;  // device IDs; the WIFI password; the domain page's texts
constexpr size_t pageSsidReadLimit = 59;  // the SSID as read, before its length test
constexpr size_t pageDomainLimit = 59;

// The items of every baud-rate list, by code.
extern const char* const pageBaudItems[5];

class ParamPage : public SetupDialog {
public:
    void onTimer(int id) override { replyTimer(id); }
    // Destruction ends the program: a page is only destroyed with the main
    // window. The eye bitmaps are the view's.
    void onDestroy() override { view_.postQuit(0); }

    bool passwordMasked() const { return passwordMasked_; }
    // The eye button's bitmap: grey while masked, green while shown.
    int eyeBitmap() const;

protected:
    ParamPage(SetupShell& shell, SetupView& view, const TextCodec& codec, int dialog)
        : SetupDialog(shell, view, dialog), fields_(view, codec)
    {
    }

    // The first steps of every initialisation: the page becomes the current
    // page, probes the ports (adding items the first time), selects the port
    // the reply came through and opens it (a failure shows later as silence),
    // starts timer 1 and shows the version and "关闭串口".
    void initPortSteps();
    // A read request again (1002 while closed): false after "打开串口失败".
    // The version is cleared; the caller clears its fields, then calls
    // requestSteps().
    bool beginReread();
    void setMasked(bool masked);
    // Toggles the mask and the bitmap, then sets the password's text to its
    // own first 29 GBK bytes (which redraws it with the new character).
    void eyeClicked();
    // Fills a baud-rate list the first time and selects code (no selection
    // for a code the list cannot show).
    void showBaudList(int control, int code);
    // The selected code of a baud-rate list, 0xFF without a selection.
    uint8_t baudCode(int control) const;
    // An input that must not be empty: its GBK text, or its message and false.
    bool required(int control, size_t limit, const char* emptyMessage, std::string& out);

    DialogFields fields_;
    bool passwordMasked_ = true;
    bool listsFilled_ = false;
};
