#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "console/tagStore.h"

namespace {

void report(TagStore& s, uint32_t id, int sub, int8_t rssi, uint8_t status = 0,
            const uint8_t* extra = nullptr, int n = 0)
{
    s.report(id, sub, status, rssi, extra, n);
}

RowSnapshot row(const TagStore& s, int i)
{
    RowSnapshot r{};
    EXPECT_TRUE(s.snapshot(i, &r));
    return r;
}

}  // namespace

TEST(DistanceCm, Table)
{
    const int r[] = {-8, -9, -12, -20, -21, -30, -40, -45, -55, -60, -70, -80, -90, -100};
    const int cm[] = {0, 3, 13, 40, 43, 100, 251, 398, 1000, 1584, 3981, 10000, 25118, 63095};
    for (size_t i = 0; i < sizeof r / sizeof r[0]; ++i)
        EXPECT_EQ(distanceCm(r[i]), cm[i]) << r[i];
    EXPECT_EQ(distanceCm(0), 0);
    EXPECT_EQ(distanceCm(127), 0);
    EXPECT_GT(distanceCm(-128), 0);
}

TEST(TagStore, SortedByTagIdWithCreationOrderAmongEqualIds)
{
    TagStore s;
    s.clear();
    report(s, 30, 0, -10);
    report(s, 10, 2, -10);
    report(s, 20, 0, -10);
    report(s, 10, 1, -10);
    report(s, 0xFFFFFFF0u, 0, -10);  // compared unsigned: last
    ASSERT_EQ(s.count(), 5);
    const struct {
        uint32_t id;
        int sub;
    } expected[] = {{10, 2}, {10, 1}, {20, 0}, {30, 0}, {0xFFFFFFF0u, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(row(s, i).tagId, expected[i].id) << i;
        EXPECT_EQ(row(s, i).substation, expected[i].sub) << i;
    }
}

TEST(TagStore, StrongestOfTheLastThreeSamples)
{
    TagStore s;
    s.clear();
    const struct {
        int8_t rssi;
        int shown;
    } steps[] = {{-50, -50}, {-40, -40}, {-60, -40}, {-70, -40}, {-70, -60}, {-70, -70}};
    for (const auto& step : steps) {
        report(s, 7, 0, step.rssi);
        EXPECT_EQ(row(s, 0).rssi, step.shown) << int(step.rssi);
    }
    EXPECT_EQ(row(s, 0).activeCount, 6);
}

TEST(TagStore, FirstReportShowsItsOwnDistance)
{
    const int cases[][2] = {{-9, 3}, {-21, 43}, {0, 0}};
    for (const auto& c : cases) {
        TagStore s;
        s.clear();
        report(s, 1, 0, int8_t(c[0]));
        EXPECT_EQ(row(s, 0).rssi, c[0]);
        EXPECT_EQ(row(s, 0).distance, c[1]);
    }
}

TEST(TagStore, ExtraDataOverwritesOnlyItsBytes)
{
    TagStore s;
    s.clear();
    const uint8_t three[] = {1, 2, 3};
    const uint8_t one[] = {9};
    report(s, 5, 0, -10, 3 << 5, three, 3);
    report(s, 5, 0, -10, 1 << 5, one, 1);
    const RowSnapshot r = row(s, 0);
    EXPECT_EQ(r.status, 1 << 5);
    EXPECT_EQ(r.extra[0], 9);
    EXPECT_EQ(r.extra[1], 2);
    EXPECT_EQ(r.extra[2], 3);
}

TEST(TagStore, DropsAtThirtiethTickCountsFromThirtyFirst)
{
    TagStore s;
    s.clear();
    report(s, 1, 0, -30);
    for (int tick = 1; tick <= 29; ++tick) {
        s.ageTick();
        EXPECT_FALSE(row(s, 0).dropped) << tick;
    }
    s.ageTick();  // 30th
    EXPECT_TRUE(row(s, 0).dropped);
    EXPECT_EQ(s.dropped(), 0);
    EXPECT_EQ(row(s, 0).activeCount, 1);
    s.ageTick();  // 31st
    EXPECT_EQ(s.dropped(), 1);
    EXPECT_EQ(row(s, 0).activeCount, 0);

    report(s, 1, 0, -45);  // back: ring restarts with the new sample
    const RowSnapshot back = row(s, 0);
    EXPECT_FALSE(back.dropped);
    EXPECT_EQ(back.activeCount, 1);
    EXPECT_EQ(back.rssi, -45);
    s.ageTick();
    EXPECT_EQ(s.dropped(), 0);
}

TEST(TagStore, AgeingOnlyWhileActive)
{
    TagStore s;
    s.clear();
    report(s, 1, 0, -30);
    s.deactivate();
    for (int i = 0; i < 40; ++i)
        s.ageTick();
    EXPECT_FALSE(row(s, 0).dropped);  // frozen, records kept
    EXPECT_EQ(s.count(), 1);
    s.clear();
    EXPECT_EQ(s.count(), 0);
    EXPECT_TRUE(s.active());
}

TEST(TagStore, CapacityIgnoresNewPairsButUpdatesKnownOnes)
{
    TagStore s;
    s.clear();
    for (uint32_t id = 0; id < uint32_t(storeCapacityListen); ++id)
        report(s, id * 2, 0, -10);
    ASSERT_EQ(s.count(), storeCapacityListen);
    report(s, 3, 0, -10);  // new pair: ignored
    report(s, 2, 1, -10);  // new substation of a known tag: a new pair, ignored
    EXPECT_EQ(s.count(), storeCapacityListen);
    EXPECT_EQ(row(s, 2).tagId, 4u);
    report(s, 4, 0, -20);
    EXPECT_EQ(row(s, 2).activeCount, 2);
}

TEST(TagStore, PagingTwelveRowsAPage)
{
    for (int count : {24, 25}) {
        TagStore s;
        s.clear();
        for (int i = 0; i < count; ++i)
            report(s, uint32_t(i), 0, -10);
        EXPECT_FALSE(s.previousPage());
        EXPECT_TRUE(s.nextPage());
        EXPECT_EQ(s.page(), 1);
        EXPECT_EQ(s.nextPage(), count == 25) << count;
        EXPECT_FALSE(s.nextPage());
        RowSnapshot rows[storeRowsPerPage];
        int first = 0, total = 0, dropped = 0;
        const int shown = s.snapshotPage(rows, &first, &total, &dropped);
        EXPECT_EQ(shown, count == 25 ? 1 : 12);
        EXPECT_EQ(first, count == 25 ? 24 : 12);
        EXPECT_EQ(total, count);
        s.clear();
        EXPECT_EQ(s.page(), 0);
    }
}

TEST(TagStore, BinarySearchAndLinearScanGiveIdenticalTables)
{
    TagStore bySearch, byScan;
    bySearch.clear();
    byScan.clear();
    std::mt19937 gen(12345);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t id = gen() % 700;
        const int sub = int(gen() % 34);
        const int8_t rssi = int8_t(-int(gen() % 100));
        const uint8_t extra[7] = {uint8_t(i), uint8_t(i >> 8), 1, 2, 3, 4, 5};
        const int n = int(gen() % 8);
        const uint8_t status = uint8_t(n << 5 | (gen() & 1));
        bySearch.report(id, sub, status, rssi, extra, n);
        byScan.reportByScan(id, sub, status, rssi, extra, n);
        if (i % 997 == 0) {
            bySearch.ageTick();
            byScan.ageTick();
        }
    }
    ASSERT_EQ(bySearch.count(), byScan.count());
    for (int i = 0; i < bySearch.count(); ++i) {
        TagRecord a{}, b{};
        ASSERT_TRUE(bySearch.record(i, &a));
        ASSERT_TRUE(byScan.record(i, &b));
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << i;
    }
}

TEST(SubstationTable, OnlineSecondsCountInStatesZeroAndThree)
{
    SubstationTable t;
    for (int i = 0; i < substationCount; ++i)
        EXPECT_EQ(t.state(i), substationAbsent);
    t.setState(0, 0);
    t.setState(1, 3);
    t.setState(2, 1);
    for (int i = 0; i < 5; ++i)
        t.tick();
    EXPECT_EQ(t.online(0), 5);
    EXPECT_EQ(t.online(1), 5);
    EXPECT_EQ(t.online(2), 0);
    t.setState(0, 4);
    t.tick();
    EXPECT_EQ(t.online(0), 0);
}
