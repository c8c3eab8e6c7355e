// The wired parameter pages: model 1 (dialog 105), model 2 (111), model 6
// (115) and model 52 (113). One controller serves them all; what differs
// between them is the table row (WiredPageTraits) it is given.
//
// A page shows the record store of the model-ready block, re-opens the port
// when it is initialised (the reply handler closed it), lets the user edit
// the fields and writes them back with "应用".
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/textCodec.h"
#include "serial/paramRecords.h"
#include "setup/pageFields.h"
#include "setup/setupShell.h"

// A baud-rate list of a page and the code of the wired record it shows and writes.
struct BaudListField {
    int control;
    uint8_t WiredParams::*code;
};

// The checks of "应用", in the page's order; each stops the write with its
// message box when it fails.
enum class ApplyStep {
    identity,   // active mode: platform IP, port, device name, password
    addresses,  // DHCP, or IP, mask and gateway
    baudRates,  // the selections of the baud-rate lists (no check)
    deviceId,   // wait mode: the device ID
};

struct WiredPageTraits {
    int model;
    int dialog;
    bool compactRecord;        // the compact wired layout (model 6)
    const BaudListField* baudLists;
    size_t baudListCount;
    const char* macPrefix;     // before the MAC text; null: no MAC control
    bool hasDhcp;              // the DHCP check box 1012
    bool hasModeList;          // the connect-mode list 1016; without it always active
    ApplyStep order[4];
    size_t steps;
};

// The row of a wired model (1, 2, 6, 52), or null.
const WiredPageTraits* wiredPageTraits(int model);

class WiredPage : public SetupDialog {
public:
    WiredPage(SetupShell& shell, SetupView& view, const TextCodec& codec,
              const WiredPageTraits& traits);

    void onInit() override;
    void onCommand(int id) override;
    void onTimer(int id) override { replyTimer(id); }
    // Destruction ends the program: a page is only destroyed with the main
    // window. The eye bitmaps are the view's.
    void onDestroy() override { view_.postQuit(0); }

    const WiredPageTraits& traits() const { return traits_; }
    bool passwordMasked() const { return passwordMasked_; }
    // The eye button's bitmap: grey while masked, green while shown.
    int eyeBitmap() const;
    uint8_t antennaMerge() const { return antennaMerge_; }

private:
    // The record's fields in the wired form, whatever the page's layout.
    struct Record {
        WiredParams wired;
        uint8_t reserved = 0;  // compact layout only
    };
    Record record() const;
    bool activeShown() const;
    void setMasked(bool masked);
    // Label, device name or ID, password and platform of the connect mode.
    // levelTest: the device ID is only shown at the model's level (the
    // initialisation); the connect-mode switch shows it always.
    void showConnect(const Record& rec, bool active, bool levelTest);
    void showAddresses(const IpSettings& net);
    void enableAddresses(bool enabled);
    void closePort();
    void reread();
    void dhcpClicked();
    void eyeClicked();
    void apply();
    // One step of apply into out; false after its message box.
    bool applyStep(ApplyStep step, bool active, Record& out);

    PageFields fields_;
    const WiredPageTraits& traits_;
    bool passwordMasked_ = true;
    bool listsFilled_ = false;
    uint8_t antennaMerge_ = 0;
};
