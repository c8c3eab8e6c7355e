#include "console/detailsWindow.h"

#include <cstdio>

const char* substationStateText(uint8_t state)
{
    switch (state) {
    case substationNormal:
        return "正常";
    case substationNoAntenna:
        return "天线未连接";
    case substationCongested:
        return "正常，但读卡器拥堵";
    default:
        return "其他故障";
    }
}

std::vector<std::vector<std::string>> DetailsWindow::rows() const
{
    std::vector<std::vector<std::string>> list;
    for (int i = 0; i < substationCount; ++i) {
        const uint8_t state = substations_.state(i);
        if (state == substationAbsent)
            continue;
        std::vector<std::string> row;
        row.push_back(std::to_string(list.size() + 1));
        row.push_back(std::to_string(i));
        row.push_back(substationStateText(state));
        if (showOnlineTime_) {
            const long t = state == substationNoAntenna ? 0 : long(substations_.online(i));
            char hms[32];
            std::snprintf(hms, sizeof hms, "%02ld:%02ld:%02ld", t / 3600, (t % 3600) / 60, t % 60);
            row.push_back(hms);
        }
        list.push_back(row);
    }
    return list;
}
