// The parameter pages of the readers that meet their platform in one of two
// connect modes: the wired models 1 (dialog 105), 2 (111), 6 (115) and 52
// (113), the WIFI model 3 (107) and the dual-network model 7 (117). One
// controller serves them all; what differs between them is the table row
// (NetworkPageTraits) it is given.
//
// A page shows the record store of the model-ready block, re-opens the port
// when it is initialised (the reply handler closed it), lets the user edit
// the fields and writes them back with "应用".
#pragma once
#include <cstddef>
#include <cstdint>

#include "serial/paramRecords.h"
#include "setup/paramPage.h"

// A baud-rate list of a page and the code it shows and writes, held in the
// wired form of the record (the WIFI and dual-network antenna code as
// antenna0Baud).
struct BaudListField {
    int control;
    uint8_t WiredParams::*code;
};

// The checks of "应用", in the page's order; each stops the write with its
// message box when it fails.
enum class ApplyStep {
    identity,        // active mode: platform IP, port, device name, password
    identityByName,  // active mode: device name, password, platform IP, port
    addresses,       // DHCP, or IP, mask and gateway
    baudRates,       // the selections of the baud-rate lists (no check)
    wifi,            // SSID (required) and WIFI password
    network,         // the network choice; its SSID and password; its addresses
    deviceId,        // wait mode: the device ID
};

constexpr size_t applyStepsMax = 5;

struct NetworkPageTraits {
    int model;
    int dialog;
    ParamLayout layout;
    const BaudListField* baudLists;
    size_t baudListCount;
    bool baudListsLocked;      // shown but not changeable
    const char* macPrefix;     // before the MAC text; null: no MAC control
    bool hasDhcp;              // the DHCP check box 1012
    bool hasModeList;          // the connect-mode list 1016; without it always active
    ApplyStep order[applyStepsMax];
    size_t steps;
    // The antenna-merge check box 1015 and its note 1026: shown and edited
    // (written at 88). Without it the page echoes the record's flag.
    bool hasMergeBox = false;
    // The oldest WIFI page: the SSID is sent in the code page as typed (at
    // most 31 bytes, no length message), the WIFI password is required, and
    // the second antenna code and the merge flag are written too.
    bool legacyWifi = false;
};

// The pages of each build, by model.
extern const NetworkPageTraits networkPagesV36[6];  // also V3.5
extern const NetworkPageTraits networkPagesV33[4];
extern const NetworkPageTraits networkPagesV30[3];

// The V3.6 row of a model with such a page (1, 2, 3, 6, 7, 52), or null.
const NetworkPageTraits* networkPageTraits(int model);

class NetworkPage : public ParamPage {
public:
    NetworkPage(SetupShell& shell, SetupView& view, const TextCodec& codec,
                const NetworkPageTraits& traits);

    void onInit() override;
    void onCommand(int id) override;

    const NetworkPageTraits& traits() const { return traits_; }
    uint8_t antennaMerge() const { return antennaMerge_; }

private:
    // The record's fields as the page works with them, whatever its layout.
    struct Record {
        WiredParams wired;  // connect settings, the shown interface and MAC, baud codes
        uint8_t reserved = 0;  // compact and dual-network layouts: echoed
        FixedText<paramTextSize> ssid;
        FixedText<paramTextSize> wifiPassword;
        DualNetworkParams dual;  // dual-network layout: both interfaces
    };
    Record record() const;
    bool hasWifiFields() const;
    bool hasNetworkChoice() const { return traits_.layout == ParamLayout::dualNetwork; }
    bool activeShown() const;
    // Label, device name or ID, password and platform of the connect mode.
    // levelTest: the device ID is only shown at the model's level (the
    // initialisation); the connect-mode switch shows it always.
    void showConnect(const Record& rec, bool active, bool levelTest);
    // The MAC, the DHCP box and the addresses of one interface.
    void showInterface(const IpSettings& net, const MacAddress& mac, bool macShown);
    void enableAddresses(bool enabled);
    // Model 7: the network of the radio buttons, its WIFI fields, MAC and addresses.
    void showNetwork(const Record& rec, bool wifi);
    void closePort();
    void reread();
    void dhcpClicked();
    void apply();
    // One step of apply into out; false after its message box.
    bool applyStep(ApplyStep step, bool active, Record& out);
    bool readAddresses(IpSettings& net);
    // The SSID field from the typed text: false after "WIFI名称过长" (or,
    // when required, "WIFI名称不能为空").
    bool readSsid(bool required, FixedText<paramTextSize>& ssid);
    WritePayload encode(const Record& out) const;

    const NetworkPageTraits& traits_;
    const TextCodec& codec_;
    uint8_t antennaMerge_ = 0;
};
