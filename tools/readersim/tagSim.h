// The simulated tags that every personality of the software reader reports.
// Tag i (counting from 0) has the ID firstTagId + i * tagIdStep and is heard
// at substations[i % substationCount]. Tags are reported round robin, a
// given number per tick; the k-th report of a tag (counting from 0) carries
// rssi[k % rssiCount]. Nothing is random, so tests can predict every report.
#pragma once
#include <cstdint>

constexpr int simListMax = 255;  // entries in the substation and RSSI lists
constexpr int simExtraMax = 7;   // extra-data bytes a report can carry
constexpr int simTagsMax = 1000000;

struct TagSimConfig {
    int tagCount = 3;
    uint32_t firstTagId = 1;
    uint32_t tagIdStep = 1;  // 0 puts one tag at several substations
    uint8_t substations[simListMax] = {0};
    int substationCount = 1;
    int8_t rssi[simListMax] = {-40};
    int rssiCount = 1;
    int lowVoltageEvery = 0;  // tags 0, N, 2N, ... report low voltage; 0 = none
    uint8_t extra[simExtraMax] = {};
    int extraCount = 0;       // 0..7 extra-data bytes in every report
    uint8_t statusBits = 0;   // OR'ed into status bits 1..4 (others ignored)
    int reportsPerTick = -1;  // -1 = every tag once per tick
};

struct SimTagReport {
    uint32_t tagId;
    uint8_t substation;
    uint8_t status;  // bit 0 low voltage, bits 1..4 statusBits, bits 5..7 extra count
    int8_t rssi;
    uint8_t extra[simExtraMax];
    int extraCount;
};

class TagSim {
public:
    explicit TagSim(const TagSimConfig& config);

    int reportsPerTick() const;
    // The next report of the round robin.
    SimTagReport next();
    // Back to the first tag and the first RSSI value.
    void restart();
    const TagSimConfig& config() const { return config_; }

private:
    TagSimConfig config_;
    int nextTag_ = 0;
    uint32_t round_ = 0;  // completed passes over all tags
};
