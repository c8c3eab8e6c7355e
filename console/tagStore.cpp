#include "console/tagStore.h"

#include <cmath>
#include <cstring>

int distanceCm(int rssi)
{
    const int d = rssi < 0 ? -rssi : rssi;
    if (rssi >= -8)
        return 0;
    if (rssi >= -20)
        return (d - 8) * 40 / 12;
    // The exponent in single precision, the power and product in double,
    // which is what the distances of the table are computed with.
    const float exponent = float(d - 30) / 25.0f;
    return int(std::pow(10.0, double(exponent)) * 100.0);
}

TagStore::TagStore(int capacity, bool keepActiveCount)
    : capacity_(capacity > 0 ? capacity : 1),
      keepActiveCount_(keepActiveCount),
      records_(new TagRecord[size_t(capacity_)])
{
    std::memset(records_.get(), 0, sizeof(TagRecord) * size_t(capacity_));
}

int TagStore::findByScan(uint32_t tagId, int32_t substation) const
{
    for (int i = 0; i < count_; ++i)
        if (records_[i].tagId == tagId && records_[i].substation == substation)
            return i;
    return -1;
}

int TagStore::findBySearch(uint32_t tagId, int32_t substation) const
{
    // First record whose tag ID is not below tagId, then its equal range in
    // creation order: the same record a linear scan would find first.
    int lo = 0, hi = count_;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (records_[mid].tagId < tagId)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (int i = lo; i < count_ && records_[i].tagId == tagId; ++i)
        if (records_[i].substation == substation)
            return i;
    return -1;
}

void TagStore::apply(int found, uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
                     const uint8_t* extra, int n)
{
    if (n > storeExtraMax)
        n = storeExtraMax;
    if (n < 0 || !extra)
        n = 0;
    if (found >= 0) {
        TagRecord& r = records_[found];
        r.status = status;
        r.rssi[r.sampleIndex] = rssi;
        if (++r.sampleIndex >= 3) {
            r.sampleIndex = 0;
            r.filling = 0;
        }
        r.activeCount += 1;
        r.ttl = storeTtl;
        if (n > 0)
            std::memcpy(r.extra, extra, size_t(n));
        return;
    }
    if (count_ >= capacity_)
        return;
    // Insert after every record whose tag ID is not greater, so equal IDs
    // keep their creation order.
    int p = count_;
    while (p > 0 && records_[p - 1].tagId > tagId)
        --p;
    if (p < count_)
        std::memmove(&records_[p + 1], &records_[p], sizeof(TagRecord) * size_t(count_ - p));
    TagRecord& r = records_[p];
    std::memset(&r, 0, sizeof r);
    r.tagId = tagId;
    r.substation = substation;
    r.status = status;
    r.rssi[0] = rssi;
    r.sampleIndex = 1;
    r.filling = 1;
    r.ttl = storeTtl;
    r.activeCount = 1;
    if (n > 0)
        std::memcpy(r.extra, extra, size_t(n));
    ++count_;
}

void TagStore::report(uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
                      const uint8_t* extra, int n)
{
    std::lock_guard<std::mutex> lock(storeLock);
    apply(findBySearch(tagId, substation), tagId, substation, status, rssi, extra, n);
}

void TagStore::reportByScan(uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
                            const uint8_t* extra, int n)
{
    std::lock_guard<std::mutex> lock(storeLock);
    apply(findByScan(tagId, substation), tagId, substation, status, rssi, extra, n);
}

void TagStore::clear()
{
    std::lock_guard<std::mutex> lock(storeLock);
    count_ = 0;
    page_ = 0;
    dropped_ = 0;
    std::memset(records_.get(), 0, sizeof(TagRecord) * size_t(capacity_));
    active_ = true;
}

void TagStore::deactivate()
{
    std::lock_guard<std::mutex> lock(storeLock);
    active_ = false;
}

void TagStore::ageTick()
{
    std::lock_guard<std::mutex> lock(storeLock);
    if (!active_)
        return;
    dropped_ = 0;
    for (int i = 0; i < count_; ++i) {
        TagRecord& r = records_[i];
        if (r.ttl != 0) {
            --r.ttl;
        } else {
            r.sampleIndex = 0;
            r.filling = 1;
            if (!keepActiveCount_)
                r.activeCount = 0;
            ++dropped_;
        }
    }
}

bool TagStore::nextPage()
{
    std::lock_guard<std::mutex> lock(storeLock);
    if ((page_ + 1) * storeRowsPerPage >= count_)
        return false;
    ++page_;
    return true;
}

bool TagStore::previousPage()
{
    std::lock_guard<std::mutex> lock(storeLock);
    if (page_ <= 0)
        return false;
    --page_;
    return true;
}

int TagStore::count() const
{
    std::lock_guard<std::mutex> lock(storeLock);
    return count_;
}

int TagStore::page() const
{
    std::lock_guard<std::mutex> lock(storeLock);
    return page_;
}

int TagStore::dropped() const
{
    std::lock_guard<std::mutex> lock(storeLock);
    return dropped_;
}

bool TagStore::active() const
{
    std::lock_guard<std::mutex> lock(storeLock);
    return active_;
}

void TagStore::fillRow(const TagRecord& r, RowSnapshot* row) const
{
    row->tagId = r.tagId;
    row->substation = r.substation;
    row->status = r.status;
    std::memcpy(row->extra, r.extra, sizeof row->extra);
    row->activeCount = r.activeCount;
    row->dropped = r.ttl == 0;
    row->rssi = 0;
    row->distance = 0;
    if (row->dropped)
        return;
    int best = r.rssi[0];
    const int last = r.filling ? r.sampleIndex : 3;
    for (int k = 1; k < last; ++k)
        if (r.rssi[k] > best)
            best = r.rssi[k];
    row->rssi = best;
    row->distance = distanceCm(best);
}

bool TagStore::snapshot(int i, RowSnapshot* row) const
{
    std::lock_guard<std::mutex> lock(storeLock);
    if (i < 0 || i >= count_)
        return false;
    fillRow(records_[i], row);
    return true;
}

int TagStore::snapshotPage(RowSnapshot rows[storeRowsPerPage], int* firstIndex, int* total,
                           int* droppedCount) const
{
    std::lock_guard<std::mutex> lock(storeLock);
    const int first = page_ * storeRowsPerPage;
    int filled = 0;
    for (int i = first; i < count_ && filled < storeRowsPerPage; ++i)
        fillRow(records_[i], &rows[filled++]);
    if (firstIndex)
        *firstIndex = first;
    if (total)
        *total = count_;
    if (droppedCount)
        *droppedCount = dropped_;
    return filled;
}

bool TagStore::record(int i, TagRecord* out) const
{
    std::lock_guard<std::mutex> lock(storeLock);
    if (i < 0 || i >= count_)
        return false;
    *out = records_[i];
    return true;
}

void SubstationTable::reset()
{
    for (int i = 0; i < substationCount; ++i) {
        state_[i].store(substationAbsent, std::memory_order_relaxed);
        online_[i].store(0, std::memory_order_relaxed);
    }
}

void SubstationTable::tick()
{
    for (int i = 0; i < substationCount; ++i) {
        const uint8_t s = state(i);
        if (s == substationNormal || s == substationCongested)
            online_[i].store(online_[i].load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
        else
            online_[i].store(0, std::memory_order_relaxed);
    }
}
