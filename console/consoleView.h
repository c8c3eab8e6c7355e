// The console windows' views: the main panel and the details list.
#pragma once
#include <string>
#include <vector>

#include "common/dialogView.h"

// The console main panel adds the grid and the details window to the
// generic dialog view.
class PanelView : public DialogView {
public:
    // Grid cell `index` (0..90 in row order): its text and its red flag.
    virtual void setCell(int index, const std::string& utf8, bool red) = 0;
    virtual void openDetails() = 0;
};

class DetailsView {
public:
    virtual ~DetailsView() = default;
    // Replaces the list with these rows (each a vector of column texts).
    virtual void showRows(const std::vector<std::vector<std::string>>& rows) = 0;
};

// Local date and time for short messages.
struct LocalTime {
    int year, month, day, hour, minute, second;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};
