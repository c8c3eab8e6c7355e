// The receive path of the configuration tool and the signal filter tool,
// apart from the program body so that a tool without the serial link (the
// legacy settings tool) does not link it.
#pragma once
#include "platform/win32/serialProgram.h"
#include "serial/serialLink.h"

// The path of the configuration tool and the signal filter tool: the serial
// link's receive and reassembly threads, every cut frame sent to the window.
class LinkReceivePath : public ReceivePath {
public:
    explicit LinkReceivePath(SerialDevice& port) : link_(port, sink_) {}
    void start() override { link_.start(); }
    void stop() override { link_.stop(); }
    void deliverTo(HWND window) override { sink_.setTarget(window); }
    SerialLink& link() { return link_; }

private:
    WindowFrameSink sink_;
    SerialLink link_;
};
