// The tag and substation store: one record per (tag ID, substation) pair,
// sorted by tag ID with creation order kept among equal IDs, aged once a
// second on the window thread and fed by the receive thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

constexpr int storeCapacityListen = 5000;
constexpr int storeTtl = 30;
constexpr int storeExtraMax = 7;
constexpr int storeRowsPerPage = 12;
constexpr int substationCount = 34;

struct TagRecord {
    uint32_t tagId;
    int32_t substation;
    uint8_t status;
    int8_t rssi[3];
    uint8_t sampleIndex;
    uint8_t filling;
    uint8_t extra[storeExtraMax];
    int32_t ttl;
    int32_t activeCount;
};

// What one grid row shows, copied under the lock and formatted after it.
struct RowSnapshot {
    uint32_t tagId;
    int32_t substation;
    uint8_t status;
    uint8_t extra[storeExtraMax];
    int32_t activeCount;
    bool dropped;  // ttl 0: no RSSI or distance to show
    int rssi;      // strongest of the recent samples
    int distance;  // distanceCm(rssi)
};

// Distance estimate in centimetres from an RSSI value in dB.
int distanceCm(int rssi);

class TagStore {
public:
    // keepActiveCount: a record found expired keeps its active count (the
    // connecting console's rule) instead of restarting from 0.
    explicit TagStore(int capacity = storeCapacityListen, bool keepActiveCount = false);

    // Receive thread: insert or update the record of (tagId, substation).
    // Looks the tag up by binary search over the sorted table.
    void report(uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
                const uint8_t* extra, int n);
    // The same update found by a linear scan from the start of the table;
    // results are identical. Kept to measure the two lookups side by side.
    void reportByScan(uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
                      const uint8_t* extra, int n);

    void clear();       // empty, page 0, and activate ageing
    void deactivate();  // freeze: records stay, ageing stops
    void ageTick();     // one second of ageing while active

    // Paging, as the grid's buttons use it: each returns whether the page moved.
    bool nextPage();
    bool previousPage();

    int count() const;
    int page() const;
    int dropped() const;
    bool active() const;
    int capacity() const { return capacity_; }

    // Copies record i (0-based) into row; false when i is not in use.
    bool snapshot(int i, RowSnapshot* row) const;
    // Copies up to storeRowsPerPage rows of the current page with one lock;
    // returns the number filled, and the page's first record index.
    int snapshotPage(RowSnapshot rows[storeRowsPerPage], int* firstIndex, int* total,
                     int* droppedCount) const;

    // For tests and tools: the raw record (copied under the lock).
    bool record(int i, TagRecord* out) const;

private:
    int findByScan(uint32_t tagId, int32_t substation) const;
    int findBySearch(uint32_t tagId, int32_t substation) const;
    void apply(int found, uint32_t tagId, int32_t substation, uint8_t status, int8_t rssi,
               const uint8_t* extra, int n);
    void fillRow(const TagRecord& r, RowSnapshot* row) const;

    const int capacity_;
    const bool keepActiveCount_;
    std::unique_ptr<TagRecord[]> records_;
    int count_ = 0;
    int page_ = 0;
    int dropped_ = 0;
    bool active_ = false;
    mutable std::mutex storeLock;
};

// Substation states from heartbeats and their online seconds. Written by the
// receive thread (heartbeats) and the connection tick, read by the window
// thread without a lock: every entry is a single atomic word.
class SubstationTable {
public:
    SubstationTable() { reset(); }
    void reset();  // all absent (state 2), online 0
    void setState(int i, uint8_t state) { state_[i].store(state, std::memory_order_relaxed); }
    uint8_t state(int i) const { return state_[i].load(std::memory_order_relaxed); }
    int32_t online(int i) const { return online_[i].load(std::memory_order_relaxed); }
    void tick();  // +1 s for states 0 and 3, else back to 0

private:
    std::atomic<uint8_t> state_[substationCount];
    std::atomic<int32_t> online_[substationCount];
};

enum : uint8_t {
    substationNormal = 0,
    substationNoAntenna = 1,
    substationAbsent = 2,
    substationCongested = 3,
};
