// The substation details window: the substations the reader announced,
// their state and how long each has been online, refreshed every 3 s.
#pragma once
#include <string>
#include <vector>

#include "console/consoleView.h"
#include "console/tagStore.h"

constexpr int detailsTimerId = 1;
constexpr int detailsRefreshMs = 3000;

// The state text of a listed substation.
const char* substationStateText(uint8_t state);

class DetailsWindow {
public:
    DetailsWindow(DetailsView& view, const SubstationTable& substations, bool showOnlineTime)
        : view_(view), substations_(substations), showOnlineTime_(showOnlineTime)
    {
    }
    // The rows in list order: number, substation, state[, online time].
    std::vector<std::vector<std::string>> rows() const;
    void refresh() { view_.showRows(rows()); }

private:
    DetailsView& view_;
    const SubstationTable& substations_;
    const bool showOnlineTime_;
};
