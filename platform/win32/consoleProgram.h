// The program body shared by the three test consoles: common controls and
// network stack, the main panel over its Win32 view, the substation details
// dialog and the window shell. Each console's WinMain builds its store and
// link and hands them here.
#pragma once
#include <windows.h>

#include "console/consoleLink.h"
#include "console/mainPanel.h"
#include "console/tagStore.h"

// What differs between the consoles' windows; the resources share their ids.
struct ConsoleWindow {
    int height;           // main window height in pixels (all are 958 wide)
    bool showOnlineTime;  // the details list has the online-time column
    PanelFlavor flavor;
};

// Runs the console until its main window closes, then closes the link and
// the network stack. Returns the message loop's exit code.
int runConsole(HINSTANCE instance, int showCommand, const ConsoleWindow& window, TagStore& store,
               SubstationTable& substations, ConsoleLink& link);
