// tagdesk-legacy: the test console of the older reader model. Logs in to
// one reader at a typed address in the older dialect and shows its tags.
#include <windows.h>

#include "console/legacy/legacyLink.h"
#include "console/clientLink.h"
#include "platform/win32/consoleProgram.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    TagStore store(legacyStoreCapacity);
    SubstationTable substations;
    ClientLink<LegacyLink> link(store, substations, false);
    // The details list has no online time.
    return runConsole(instance, showCommand, ConsoleWindow{639, false, legacyPanelFlavor}, store,
                      substations, link);
}
