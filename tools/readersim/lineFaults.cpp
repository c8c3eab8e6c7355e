#include "tools/readersim/lineFaults.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

FaultyLine::FaultyLine(const UdpLineConfig& config, FrameSender& inner, uint8_t reportCode)
    : config_(config), inner_(inner), reportCode_(reportCode), random_(config.seed)
{
}

bool FaultyLine::silent() const
{
    const int64_t period = int64_t(config_.silenceEverySeconds) * 1000;
    const int64_t quiet = int64_t(config_.silenceSeconds) * 1000;
    if (period <= 0 || quiet <= 0)
        return false;
    return nowMs_ % period >= period - quiet;
}

bool FaultyLine::passIncoming()
{
    if (!silent())
        return true;
    ++counts_.inDropped;
    return false;
}

int FaultyLine::groupSize() const
{
    const int b = config_.burst > 1 ? config_.burst : 1;
    const int w = config_.reorderWindow > 1 ? config_.reorderWindow : 1;
    return b > w ? b : w;
}

void FaultyLine::sendFrame(const NetAddr& to, const uint8_t* frame, size_t length)
{
    ++counts_.offered;
    if (silent()) {
        ++counts_.silenced;
        return;
    }
    if (random_.chance(config_.lossPct)) {
        ++counts_.lost;
        return;
    }
    uint8_t copy[simFrameMax];
    if (length > sizeof copy)
        length = sizeof copy;  // the reader builds nothing larger
    std::memcpy(copy, frame, length);
    // One bit from the CRC field on: the CRC, the length or the payload.
    constexpr size_t kCheckedFrom = 6;
    if (length > kCheckedFrom && random_.chance(config_.corruptPct)) {
        const uint32_t bit = random_.below(uint32_t(length - kCheckedFrom) * 8);
        copy[kCheckedFrom + bit / 8] ^= uint8_t(1u << (bit % 8));
        ++counts_.corrupted;
    }
    const int copies = random_.chance(config_.dupPct) ? 2 : 1;
    counts_.duplicated += uint64_t(copies - 1);
    for (int i = 0; i < copies; ++i)
        pass(to, copy, length);
}

void FaultyLine::pass(const NetAddr& to, const uint8_t* frame, size_t length)
{
    const bool isReport = length > 5 && frame[5] == reportCode_;
    if (!isReport || groupSize() <= 1) {
        ++counts_.delivered;
        inner_.sendFrame(to, frame, length);
        return;
    }
    Held& h = held_[heldCount_++];
    h.to = to;
    h.length = length;
    std::memcpy(h.bytes, frame, length);
    if (heldCount_ >= groupSize())
        flush();
}

void FaultyLine::flush()
{
    int order[lineGroupMax];
    for (int i = 0; i < heldCount_; ++i)
        order[i] = i;
    if (config_.reorderWindow > 1) {
        for (int i = heldCount_ - 1; i > 0; --i) {
            const int j = int(random_.below(uint32_t(i + 1)));
            const int t = order[i];
            order[i] = order[j];
            order[j] = t;
        }
    }
    for (int i = 0; i < heldCount_; ++i) {
        const Held& h = held_[order[i]];
        if (order[i] != i)
            ++counts_.reordered;
        ++counts_.delivered;
        inner_.sendFrame(h.to, h.bytes, h.length);
    }
    heldCount_ = 0;
}

void FaultyLine::printSummary(SimLog& log) const
{
    const LineCounts& c = counts_;
    simStatus(log,
              "line seed=%u offered=%llu delivered=%llu lost=%llu silenced=%llu "
              "duplicated=%llu corrupted=%llu reordered=%llu in-dropped=%llu",
              unsigned(config_.seed), (unsigned long long)c.offered,
              (unsigned long long)c.delivered, (unsigned long long)c.lost,
              (unsigned long long)c.silenced, (unsigned long long)c.duplicated,
              (unsigned long long)c.corrupted, (unsigned long long)c.reordered,
              (unsigned long long)c.inDropped);
}

FaultyWire::FaultyWire(const SerialLineConfig& config, SerialWriter& inner)
    : config_(config),
      inner_(inner),
      random_(config.seed),
      cutRandom_(config.seed, lineStreamCuts)
{
}

void FaultyWire::writeComBytes(const uint8_t* bytes, size_t count)
{
    // The bytes that survive leave as one write, as the reader wrote them
    // (cut into pieces with cutPct).
    uint8_t kept[1024];
    size_t n = 0;
    const int noise = config_.noiseMax > 0 ? int(random_.below(uint32_t(config_.noiseMax) + 1)) : 0;
    for (size_t i = 0; i < size_t(noise) + count; ++i) {
        const bool isNoise = i < size_t(noise);
        // Noise bytes are not frame magic ('Q'), so the cutter skips them.
        const uint8_t b = isNoise ? uint8_t(random_.below(255)) : bytes[i - size_t(noise)];
        if (isNoise)
            ++counts_.noise;
        else
            ++counts_.offered;
        if (random_.chancePermille(config_.dropBytesPermille)) {
            ++counts_.lost;
            continue;
        }
        kept[n++] = (isNoise && b == 'Q') ? uint8_t(0xFF) : b;
        ++counts_.delivered;
        if (n == sizeof kept) {
            pass(kept, n);
            n = 0;
        }
    }
    if (n > 0)
        pass(kept, n);
}

void FaultyWire::pass(const uint8_t* bytes, size_t count)
{
    int parts = 1;
    if (count >= 2 && cutRandom_.chance(config_.cutPct)) {
        parts = 2 + int(cutRandom_.below(lineCutPiecesMax - 1));
        if (size_t(parts) > count)
            parts = int(count);
        ++counts_.cuts;
    }
    // Every piece gets one byte; the rest is shared out at parts - 1 random
    // points of 0..count - parts, in order, so no piece is empty.
    uint32_t points[lineCutPiecesMax] = {};
    for (int k = 0; k + 1 < parts; ++k)
        points[k] = cutRandom_.below(uint32_t(count) - uint32_t(parts) + 1);
    std::sort(points, points + parts - 1);
    size_t from = 0;
    for (int k = 0; k < parts; ++k) {
        const size_t to = k + 1 < parts ? points[k] + size_t(k) + 1 : count;
        const int gap = k == 0 ? 0 : int(cutRandom_.below(uint32_t(config_.cutGapMaxMs) + 1));
        hold(bytes + from, to - from, gap);
        from = to;
    }
    release();
}

void FaultyWire::hold(const uint8_t* bytes, size_t count, int gapMs)
{
    if (heldPieces_ == 0 && gapMs == 0) {
        inner_.writeComBytes(bytes, count);  // nothing to wait behind
        return;
    }
    if (heldPieces_ == lineHeldPiecesMax || heldBytes_ + count > sizeof held_)
        flushHeld();  // full: what waits leaves now, its gaps cut short
    if (heldPieces_ == 0)
        frontDueMs_ = nowMs_ + gapMs;
    std::memcpy(held_ + heldBytes_, bytes, count);
    heldBytes_ += count;
    pieces_[heldPieces_++] = Piece{count, gapMs};
}

void FaultyWire::release()
{
    while (heldPieces_ > 0 && nowMs_ >= frontDueMs_) {
        const size_t n = pieces_[0].length;
        inner_.writeComBytes(held_, n);
        std::memmove(held_, held_ + n, heldBytes_ - n);
        heldBytes_ -= n;
        std::memmove(pieces_, pieces_ + 1, sizeof(Piece) * size_t(heldPieces_ - 1));
        --heldPieces_;
        if (heldPieces_ > 0)
            frontDueMs_ = nowMs_ + pieces_[0].gapMs;
    }
}

void FaultyWire::setTimeMs(int64_t ms)
{
    nowMs_ = ms;
    release();
}

int64_t FaultyWire::msUntilDue() const
{
    if (heldPieces_ == 0)
        return -1;
    return frontDueMs_ > nowMs_ ? frontDueMs_ - nowMs_ : 0;
}

void FaultyWire::flushHeld()
{
    if (heldBytes_ > 0)
        inner_.writeComBytes(held_, heldBytes_);
    heldBytes_ = 0;
    heldPieces_ = 0;
}

void FaultyWire::printSummary(SimLog& log, long long late) const
{
    char lateItem[32] = "";
    if (late >= 0)
        std::snprintf(lateItem, sizeof lateItem, " late=%lld", late);
    simStatus(log, "line seed=%u offered=%llu delivered=%llu lost=%llu noise=%llu cut=%llu%s",
              unsigned(config_.seed), (unsigned long long)counts_.offered,
              (unsigned long long)counts_.delivered, (unsigned long long)counts_.lost,
              (unsigned long long)counts_.noise, (unsigned long long)counts_.cuts, lateItem);
}
