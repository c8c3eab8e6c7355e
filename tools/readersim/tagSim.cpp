#include "tools/readersim/tagSim.h"

#include <cstring>

TagSim::TagSim(const TagSimConfig& config) : config_(config)
{
    // Keep the lists usable whatever the caller filled in.
    if (config_.tagCount < 0)
        config_.tagCount = 0;
    if (config_.substationCount < 1 || config_.substationCount > simListMax) {
        config_.substations[0] = 0;
        config_.substationCount = 1;
    }
    if (config_.rssiCount < 1 || config_.rssiCount > simListMax) {
        config_.rssi[0] = -40;
        config_.rssiCount = 1;
    }
    if (config_.extraCount < 0 || config_.extraCount > simExtraMax)
        config_.extraCount = 0;
}

int TagSim::reportsPerTick() const
{
    if (config_.tagCount == 0)
        return 0;
    return config_.reportsPerTick < 0 ? config_.tagCount : config_.reportsPerTick;
}

void TagSim::restart()
{
    nextTag_ = 0;
    round_ = 0;
}

SimTagReport TagSim::next()
{
    SimTagReport r{};
    if (config_.tagCount == 0)
        return r;
    const int i = nextTag_;
    r.tagId = config_.firstTagId + uint32_t(i) * config_.tagIdStep;
    r.substation = config_.substations[i % config_.substationCount];
    r.rssi = config_.rssi[round_ % uint32_t(config_.rssiCount)];
    r.extraCount = config_.extraCount;
    if (r.extraCount > 0)
        std::memcpy(r.extra, config_.extra, size_t(r.extraCount));
    const bool lowVoltage = config_.lowVoltageEvery > 0 && i % config_.lowVoltageEvery == 0;
    r.status = uint8_t(r.extraCount << 5 | (config_.statusBits & 0x1E) | (lowVoltage ? 1 : 0));
    if (++nextTag_ == config_.tagCount) {
        nextTag_ = 0;
        ++round_;
    }
    return r;
}
