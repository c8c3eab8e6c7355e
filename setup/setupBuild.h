// The builds of the configuration tool made from this one source: V3.6 (the
// current one), V3.5, V3.3 and V3.0. A build names its models and pages
// (with the window's rise and growth for each), the behaviour of its pages
// and whether its lists are sorted; the resources of each build come from
// the same script (READERSETUP_BUILD).
#pragma once
#include <cstddef>

#include "setup/networkPage.h"
#include "setup/setupShell.h"

struct SetupBuild {
    int code;             // 36, 35, 33 or 30
    const char* version;  // in the title: "V3.6"
    const PageGrowth* pages;
    size_t pageCount;
    const NetworkPageTraits* networkPages;
    size_t networkPageCount;
    bool sortedLists;     // the port and connect-mode lists

    // The build's row of a model with a connect-mode page, or null.
    const NetworkPageTraits* networkPage(int model) const;
    // The build's page row of a model, or null (a model without a page).
    const PageGrowth* page(int model) const;
};

extern const SetupBuild setupBuilds[4];

// The build of a code (36, 35, 33, 30), or null.
const SetupBuild* setupBuild(int code);
