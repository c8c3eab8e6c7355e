#include "console/listen/netServer.h"

NetServer::NetServer(TagStore& store, SubstationTable& substations, RandomSource& random)
    : substations_(substations),
      receiver_(*this, true),
      core_(store, substations, receiver_.socket(), random)
{
}

NetServer::~NetServer() { netServerClose(); }

int NetServer::netServerOpen(uint16_t port, const char* deviceName, const char* password)
{
    receiver_.close();
    core_.configure(deviceName, password);
    substations_.reset();
    return receiver_.open(port, netSocketBufferBytes, "netServerOpen");
}

void NetServer::netServerClose()
{
    receiver_.close();
    core_.reset();
}
