#include "setup/setupBuild.h"

#include "setup/resource.h"

namespace {

// V3.5 is V3.6 but for the growth of the model-2 page.
const PageGrowth kPagesV35[7] = {
    {modelWired, IDD_PAGE_WIRED, 263, 526},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, 201, 402},
    {modelWifi, IDD_PAGE_WIFI, 246, 493},
    {modelDomain, IDD_PAGE_DOMAIN, 156, 312},
    {modelCompactWired, IDD_PAGE_COMPACT, 182, 364},
    {modelDualNetwork, IDD_PAGE_DUAL, 246, 493},
    {modelWiredActive, IDD_PAGE_ACTIVE, 149, 298},
};

const PageGrowth kPagesV33[4] = {
    {modelWired, IDD_PAGE_WIRED, 248, 496},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, 201, 402},
    {modelWifi, IDD_PAGE_WIFI, 231, 463},
    {modelWiredActive, IDD_PAGE_ACTIVE, 149, 298},
};

const PageGrowth kPagesV30[3] = {
    {modelWired, IDD_PAGE_WIRED, 270, 541},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, 201, 402},
    {modelWifi, IDD_PAGE_WIFI, 260, 521},
};

template <typename T, size_t N>
constexpr size_t countOf(const T (&)[N])
{
    return N;
}

}  // namespace

const SetupBuild setupBuilds[4] = {
    {36, "V3.6", setupPagesV36, countOf(setupPagesV36), networkPagesV36, countOf(networkPagesV36),
     false},
    {35, "V3.5", kPagesV35, countOf(kPagesV35), networkPagesV36, countOf(networkPagesV36), false},
    {33, "V3.3", kPagesV33, countOf(kPagesV33), networkPagesV33, countOf(networkPagesV33), true},
    {30, "V3.0", kPagesV30, countOf(kPagesV30), networkPagesV30, countOf(networkPagesV30), true},
};

const SetupBuild* setupBuild(int code)
{
    for (const SetupBuild& build : setupBuilds) {
        if (build.code == code)
            return &build;
    }
    return nullptr;
}

const NetworkPageTraits* SetupBuild::networkPage(int model) const
{
    for (size_t i = 0; i < networkPageCount; ++i) {
        if (networkPages[i].model == model)
            return &networkPages[i];
    }
    return nullptr;
}

const PageGrowth* SetupBuild::page(int model) const
{
    for (size_t i = 0; i < pageCount; ++i) {
        if (pages[i].model == model)
            return &pages[i];
    }
    return nullptr;
}
