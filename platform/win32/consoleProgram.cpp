#include "platform/win32/consoleProgram.h"

#include <commctrl.h>

#include "common/textCodec.h"
#include "console/detailsWindow.h"
#include "console/netPdu.h"
#include "console/panelIds.h"
#include "platform/udpSocket.h"
#include "platform/win32/dialogView.h"
#include "platform/win32/windowShell.h"

#ifndef TAGDESK_DEBUG_TRACE
#define TAGDESK_DEBUG_TRACE 0
#endif

namespace {

// Debug-trace builds send the protocol traces to the debugger's output,
// which reads code page 936 like every text of the suite.
[[maybe_unused]] void installDebugTrace()
{
    static GbkTraceOutput output = {&systemTextCodec(),
                                    [](const char* gbk) { OutputDebugStringA(gbk); }};
    netTraceSetSink(netTraceToGbk, &output);
}

constexpr int kWindowWidth = 958;

const ListColumn kDetailsColumns[] = {
    {L"序号", 50},
    {L"分站号", 70},
    {L"状态", 150},
    {L"在线时长", 150},
};
constexpr int kDetailsColumnCount = int(sizeof kDetailsColumns / sizeof kDetailsColumns[0]);

// The details list without and with the online-time column (its last).
const DetailsLayout kDetailsLayouts[2] = {
    {IDD_DETAILS, 20, 10, 300, 400, kDetailsColumns, kDetailsColumnCount - 1, detailsTimerId,
     detailsRefreshMs},
    {IDD_DETAILS, 20, 10, 420, 400, kDetailsColumns, kDetailsColumnCount, detailsTimerId,
     detailsRefreshMs},
};

}  // namespace

int runConsole(HINSTANCE instance, int showCommand, const ConsoleWindow& window, TagStore& store,
               SubstationTable& substations, ConsoleLink& link)
{
    // Before the panel exists: it holds an IP address control in two consoles.
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                         ICC_COOL_CLASSES | ICC_INTERNET_CLASSES |
                                         ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS |
                                         ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
#if TAGDESK_DEBUG_TRACE
    installDebugTrace();
#endif
    // Without a network stack the start button reports that it cannot open
    // its socket.
    const bool network = netStackStartup();

    const ShellResources shell = {
        IDC_TAGDESK,    // class name "TAGDESKTEST"
        IDS_APP_TITLE,  // the console's title
        IDI_TAGDESK,    IDC_TAGDESK, IDD_MAIN_PANEL, IDD_ABOUTBOX, IDM_ABOUT,
        kWindowWidth,   window.height,
        L"tagDeskNet__20190109_QV",
    };
    const DetailsLayout& detailsLayout = kDetailsLayouts[window.showOnlineTime ? 1 : 0];

    int cellIds[gridCells];
    for (int i = 0; i < gridCells; ++i)
        cellIds[i] = gridCellIds[i / gridColumns][i % gridColumns];
    const PanelLook look = {IDB_BACKGROUND, cellIds, gridCells, gridColumns};
    Win32PanelView view(instance, look);
    LocalClock clock;
    MainPanel panel(view, link, store, systemTextCodec(), clock, window.flavor);
    PanelHooksFor<MainPanel> hooks(panel);

    ListDetailsView detailsList;
    DetailsWindow details(detailsList, substations, window.showOnlineTime);
    view.setDetailsOpener([&] {
        runDetailsDialog(instance, view.hwnd(), detailsLayout, detailsList,
                         [&] { details.refresh(); });
    });

    const int result = runWindowShell(instance, shell, view, hooks, showCommand);
    link.close();
    if (network)
        netStackCleanup();
    return result;
}
