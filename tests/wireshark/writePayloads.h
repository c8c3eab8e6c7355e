// The write payload that the configuration tool builds for a model from a
// parameter record, through the tool's own decoders and encoders.
#pragma once
#include <cstdint>
#include <vector>

#include "serial/paramRecords.h"

inline std::vector<uint8_t> toolWriteFor(uint8_t model, const uint8_t* record, size_t length)
{
    ParamRecordStore store;
    store.assign(record, length);
    WritePayload w;
    const ParamModelInfo* info = paramModelInfo(model);
    if (!info)
        return {};
    switch (info->layout) {
    case ParamLayout::wired:
        w = encodeWiredWrite(model, decodeWired(store));
        break;
    case ParamLayout::wifi:
        w = encodeWifiWrite(decodeWifi(store));
        break;
    case ParamLayout::compactWired:
        w = encodeCompactWiredWrite(decodeCompactWired(store));
        break;
    case ParamLayout::domain:
        w = encodeDomainWrite(decodeDomain(store));
        break;
    case ParamLayout::dualNetwork:
        w = encodeDualNetworkWrite(decodeDualNetwork(store));
        break;
    }
    return std::vector<uint8_t>(w.data(), w.data() + w.length);
}
