// A console link that addresses one reader at the typed IPv4 address: the
// connecting and the legacy consoles. It owns the UDP socket and receive
// thread and hands every datagram to the dialect's core.
#pragma once
#include <string>

#include "console/consoleLink.h"
#include "console/panelIds.h"
#include "console/tagStore.h"
#include "console/udpReceiver.h"
#include "platform/udpSocket.h"

template <class Core>
class ClientLink : public ConsoleLink, private DatagramHandler {
public:
    ClientLink(TagStore& store, SubstationTable& substations, bool traceReceiveErrors)
        : substations_(substations),
          receiver_(*this, traceReceiveErrors),
          core_(store, substations, receiver_.socket())
    {
    }
    ~ClientLink() override { receiver_.close(); }

    void initInputs(PanelView& view) override { view.setAddress(IDC_READER_IP, "192.168.1.195"); }
    bool open(PanelView& view) override
    {
        // The address control's text, at most 19 characters. An address
        // that does not parse is not refused: it simply gets no answer.
        const std::string text = view.address(IDC_READER_IP).substr(0, 19);
        uint32_t ip = 0;
        if (!parseIpv4(text.c_str(), &ip))
            ip = 0;
        receiver_.close();
        substations_.reset();
        // Bound to an ephemeral port at once, so the receive thread waits
        // on a real port from the start; the reader answers to it.
        if (receiver_.open(0, 0, "netClientOpen") != 0) {
            view.message("无法打开网络端口，请检查网络设置", MessageStyle::notice);
            return false;
        }
        core_.open(ip);
        return true;
    }
    void close() override
    {
        receiver_.close();
        core_.close();
    }
    void tick() override { core_.netClientTick(); }
    bool linkUp() const override { return core_.linkUp(); }
    void sendCall(const CallFrame& call) override { core_.sendLabelAlarm(call); }
    void sendSms(const SmsFrame& sms) override { core_.sendSms(sms); }
    const int* modeInputs(int* count) const override
    {
        static const int ids[] = {IDC_READER_IP};
        *count = 1;
        return ids;
    }

    Core& core() { return core_; }
    UdpReceiver& receiver() { return receiver_; }
    uint16_t localPort() const { return receiver_.socket().localPort(); }

private:
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated) override
    {
        core_.onDatagram(datagram, size, from, truncated);
    }

    SubstationTable& substations_;
    UdpReceiver receiver_;
    Core core_;
};
