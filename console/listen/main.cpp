// tagdesk-listen: the listening test console. Waits on a UDP port for a
// reader to log in and shows the tags it reports.
#include <windows.h>

#include <commctrl.h>

#include "common/textCodec.h"
#include "console/detailsWindow.h"
#include "console/listen/listenLink.h"
#include "console/listen/netServer.h"
#include "console/listen/resource.h"
#include "console/mainPanel.h"
#include "console/netPdu.h"
#include "platform/udpSocket.h"
#include "platform/win32/dialogView.h"
#include "platform/win32/windowShell.h"

#ifndef TAGDESK_DEBUG_TRACE
#define TAGDESK_DEBUG_TRACE 0
#endif

namespace {

#if TAGDESK_DEBUG_TRACE
void debugTrace(void*, const char* text) { OutputDebugStringA(text); }
#endif

const ShellResources kShell = {
    IDC_TAGDESK,     // class name "TAGDESKTEST"
    IDS_APP_TITLE,   // title "tagdeskV1.9"
    IDI_TAGDESK,     IDC_TAGDESK, IDD_MAIN_PANEL, IDD_ABOUTBOX, IDM_ABOUT,
    958,             649,
    L"tagDeskNet__20190109_QV",
};

const ListColumn kDetailsColumns[] = {
    {L"序号", 50},
    {L"分站号", 70},
    {L"状态", 150},
    {L"在线时长", 150},
};

const DetailsLayout kDetails = {
    IDD_DETAILS,       20, 10, 420, 400, kDetailsColumns,
    int(sizeof kDetailsColumns / sizeof kDetailsColumns[0]), detailsTimerId, detailsRefreshMs,
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                         ICC_COOL_CLASSES | ICC_INTERNET_CLASSES |
                                         ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS |
                                         ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
#if TAGDESK_DEBUG_TRACE
    netTraceSetSink(debugTrace, nullptr);
#endif
    // Without a network stack the start button reports that it cannot listen.
    const bool network = netStackStartup();

    const TextCodec& codec = systemTextCodec();
    TagStore store;
    SubstationTable substations;
    SystemRandom random;
    NetServer server(store, substations, random);
    ListenLink link(server, codec);
    LocalClock clock;

    int cellIds[gridCells];
    for (int i = 0; i < gridCells; ++i)
        cellIds[i] = gridCellIds[i / gridColumns][i % gridColumns];
    const PanelLook look = {IDB_BACKGROUND, cellIds, gridCells, gridColumns};
    Win32PanelView view(instance, look);
    MainPanel panel(view, link, store, codec, clock);
    PanelHooksFor<MainPanel> hooks(panel);

    ListDetailsView detailsList;
    DetailsWindow details(detailsList, substations, true);
    view.setDetailsOpener([&] {
        runDetailsDialog(instance, view.hwnd(), kDetails, detailsList, [&] { details.refresh(); });
    });

    const int result = runWindowShell(instance, kShell, view, hooks, showCommand);
    server.netServerClose();
    if (network)
        netStackCleanup();
    return result;
}
