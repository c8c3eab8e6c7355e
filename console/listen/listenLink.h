// The listening console's link: the mode panel's port, device name and
// password, the listening server, and the call and short-message frames of
// the listening dialect.
#pragma once
#include "common/textCodec.h"
#include "console/consoleLink.h"
#include "console/listen/netServer.h"

class ListenLink : public ConsoleLink {
public:
    ListenLink(NetServer& server, const TextCodec& codec) : server_(server), codec_(codec) {}

    void initInputs(PanelView& view) override;
    bool open(PanelView& view) override;
    void close() override { server_.netServerClose(); }
    void tick() override { server_.tick(); }
    bool linkUp() const override { return server_.core().linkUp(); }
    void sendCall(const CallFrame& call) override;
    void sendSms(const SmsFrame& sms) override;
    const int* modeInputs(int* count) const override;

private:
    NetServer& server_;
    const TextCodec& codec_;
};

// The payloads as the reader receives them (the tests check them byte for byte).
size_t listenCallPayload(const CallFrame& call, uint8_t out[7]);
size_t listenSmsPayload(const SmsFrame& sms, uint8_t* out, size_t capacity);
