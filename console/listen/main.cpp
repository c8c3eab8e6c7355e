// tagdesk-listen: the listening test console. Waits on a UDP port for a
// reader to log in and shows the tags it reports.
#include <windows.h>

#include "common/textCodec.h"
#include "console/listen/listenLink.h"
#include "console/listen/netServer.h"
#include "platform/udpSocket.h"
#include "platform/win32/consoleProgram.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    TagStore store;
    SubstationTable substations;
    SystemRandom random;
    NetServer server(store, substations, random);
    ListenLink link(server, systemTextCodec());
    return runConsole(instance, showCommand, ConsoleWindow{649, true, PanelFlavor()}, store,
                      substations, link);
}
