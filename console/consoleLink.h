// The connection a console panel is given: the listening server, the
// connecting link or the legacy link. The panel owns the window logic; the
// link owns the socket, the dialect and its own start inputs.
#pragma once
#include <cstdint>
#include <string>

#include "console/consoleView.h"

struct CallFrame {
    int32_t substation;
    uint32_t tagId;
    uint8_t action;  // 5 = call, 1 = stop
    uint8_t mode;    // lampMode, or 0xFF with the stop
};

struct SmsFrame {
    int32_t substation;
    uint32_t tagId;
    int32_t number;
    LocalTime time;
    std::string gbkText;
};

class ConsoleLink {
public:
    virtual ~ConsoleLink() = default;
    // Puts the link's defaults into its inputs when the panel is created.
    virtual void initInputs(PanelView& view) = 0;
    // Reads and checks the link's own inputs, showing any refusal through
    // the view, then opens the connection. False leaves the panel stopped.
    virtual bool open(PanelView& view) = 0;
    virtual void close() = 0;
    virtual void tick() = 0;  // the connection tick, after the store's ageing
    virtual bool linkUp() const = 0;
    virtual void sendCall(const CallFrame& call) = 0;
    virtual void sendSms(const SmsFrame& sms) = 0;
    // The inputs that belong to the link and are locked while started.
    virtual const int* modeInputs(int* count) const = 0;
};
