// The parameter page of the domain-name reader, model 5 (dialog 114): the
// device name and password, the platform by domain name or by IP address,
// its port and the antenna baud rate. It has no connect mode and no network
// settings of its own; every control shows from the start.
#pragma once
#include "serial/paramRecords.h"
#include "setup/paramPage.h"

class DomainPage : public ParamPage {
public:
    DomainPage(SetupShell& shell, SetupView& view, const TextCodec& codec);

    void onInit() override;
    void onCommand(int id) override;

private:
    // The domain box decides which of the domain name and the platform IP
    // can be edited; nothing is cleared.
    void showDomainChoice(bool domain);
    void closePort();
    void reread();
    void apply();
};
