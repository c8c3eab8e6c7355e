// The console main panel: start and stop, the status panel, the paged grid,
// the call and the short message. Shared by the three consoles; what differs
// between them is the link it is given and a few flags.
#pragma once
#include <cstdint>
#include <string>

#include "common/textCodec.h"
#include "console/consoleLink.h"
#include "console/consoleView.h"
#include "console/tagStore.h"

constexpr int gridColumns = 7;
constexpr int gridRows = 13;  // the header row and 12 data rows
constexpr int gridCells = gridColumns * gridRows;

// Control identifiers of the grid cells, row by row.
extern const int gridCellIds[gridRows][gridColumns];

struct PanelFlavor {
    // The legacy console keeps its call and message inputs enabled while
    // stopped and locks only the tag ID while a call runs.
    bool inputsFollowServer = true;
    const char* firstCallCaption = "呼叫";
};

// The legacy console's panel: call and message inputs editable while
// stopped, only the tag ID locked during a call, the call button "启动".
constexpr PanelFlavor legacyPanelFlavor{false, "启动"};

// One grid row's seven cell texts for a record at table position index.
void formatRow(const RowSnapshot& row, int index, std::string cells[gridColumns]);

// lampMode from the three check boxes; -1 when no lamp is ticked.
int lampModeFor(bool green, bool red, bool buzzer);

class MainPanel {
public:
    MainPanel(PanelView& view, ConsoleLink& link, TagStore& store, const TextCodec& codec,
              const Clock& clock, PanelFlavor flavor = PanelFlavor());

    void onInit();
    void onCommand(int id);
    void onTimer(int id);

    bool serverStarted() const { return serverStarted_; }
    bool callActive() const { return callActive_; }

private:
    void start();
    void stop();
    void tick();
    void refresh();
    void startCall();
    void stopCall();
    void sendSms();
    void enableCallInputs(bool enabled);
    void enableMessageInputs(bool enabled);
    // The text of a control in GBK, cut to maxBytes as the dialog reads it.
    std::string readGbk(int id, size_t maxBytes) const;
    bool readSubstation(int id, int32_t* substation);

    PanelView& view_;
    ConsoleLink& link_;
    TagStore& store_;
    const TextCodec& codec_;
    const Clock& clock_;
    const PanelFlavor flavor_;

    bool serverStarted_ = false;
    bool callActive_ = false;
    CallFrame call_{};
};
