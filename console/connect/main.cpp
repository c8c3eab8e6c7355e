// tagdesk-connect: the connecting test console. Logs in to one reader at a
// typed address and shows the tags it reports.
#include <windows.h>

#include "console/connect/directLink.h"
#include "console/clientLink.h"
#include "platform/win32/consoleProgram.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // A tag that reports again after it was dropped keeps its active count.
    TagStore store(storeCapacityListen, true);
    SubstationTable substations;
    ClientLink<DirectLink> link(store, substations, true);
    return runConsole(instance, showCommand, ConsoleWindow{649, true, PanelFlavor()}, store,
                      substations, link);
}
