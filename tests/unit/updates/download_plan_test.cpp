#include "updates/download_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

platform::Sha256 hash_of(char name) {
    platform::Sha256 hash{};
    hash.fill(static_cast<std::uint8_t>(name));
    return hash;
}

// A new installer of named regions: "abc" with sizes {10, 20, 30}. Equal names, equal bytes.
InstallerMap map_of(const std::string& names, const std::vector<std::uint32_t>& sizes) {
    InstallerMap map;
    for (std::size_t i = 0; i < names.size(); ++i) {
        map.regions.push_back({map.installer_size, sizes[i], hash_of(names[i])});
        map.installer_size += sizes[i];
    }
    return map;
}

std::vector<BaseRegion> base_of(const std::string& names, const std::vector<std::uint32_t>& sizes) {
    std::vector<BaseRegion> base;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        base.push_back({offset, sizes[i], hash_of(names[i])});
        offset += sizes[i];
    }
    return base;
}

PlanStep copy(std::uint64_t offset, std::uint64_t size, std::uint64_t from) { return {offset, size, false, from}; }
PlanStep fetch(std::uint64_t offset, std::uint64_t size) { return {offset, size, true, 0}; }

TEST(DownloadPlan, CopiesWhatTheBaseHasWhereverItIsAndFetchesTheRest) {
    // Region c moved to the front, d is new, a and b stay next to each other in both.
    const auto map = map_of("cdab", {1000, 500, 2000, 3000});
    const auto base = base_of("abc", {2000, 3000, 1000});
    const auto plan = plan_download(map, base, 0);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->steps, (std::vector<PlanStep>{copy(0, 1000, 5000), fetch(1000, 500), copy(1500, 5000, 0)}));
    EXPECT_EQ(plan->reused, 6000u);
    EXPECT_EQ(plan->fetched, 500u);
    EXPECT_EQ(plan->requests, 1u);
}

TEST(DownloadPlan, AHashOfAnotherSizeIsNotAMatch) {
    const auto plan = plan_download(map_of("ab", {1000, 100}), base_of("ab", {1000, 99}), 0);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->steps, (std::vector<PlanStep>{copy(0, 1000, 0), fetch(1000, 100)}));
}

TEST(DownloadPlan, MergesNearGapsThenCapsTheRequests) {
    // New regions x, y, z, w between kept ones, the gaps 100, 5000 and 200 bytes.
    const auto map = map_of("xaybzcw", {10, 100, 10, 5000, 10, 200, 10});
    const auto base = base_of("abc", {100, 5000, 200});
    const struct {
        const char* label;
        std::uint64_t gap;
        std::size_t cap;
        std::vector<PlanStep> steps;
    } cases[] = {
        {"no merging", 0, 10,
         {fetch(0, 10), copy(10, 100, 0), fetch(110, 10), copy(120, 5000, 100), fetch(5120, 10), copy(5130, 200, 5100),
          fetch(5330, 10)}},
        {"gaps under 300 bytes", 300, 10, {fetch(0, 120), copy(120, 5000, 100), fetch(5120, 220)}},
        {"gaps of exactly the limit stay", 100, 10,
         {fetch(0, 10), copy(10, 100, 0), fetch(110, 10), copy(120, 5000, 100), fetch(5120, 10), copy(5130, 200, 5100),
          fetch(5330, 10)}},
        {"at most 3 requests: the smallest gap goes", 0, 3,
         {fetch(0, 120), copy(120, 5000, 100), fetch(5120, 10), copy(5130, 200, 5100), fetch(5330, 10)}},
        {"at most 1 request", 0, 1, {fetch(0, 5340)}},
        {"a cap of 0 is 1", 0, 0, {fetch(0, 5340)}},
    };
    for (const auto& c : cases) {
        const auto plan = plan_download(map, base, c.gap, c.cap);
        if (c.steps.size() == 1) {
            // One request for everything is over 60%: no plan.
            EXPECT_FALSE(plan.has_value()) << c.label;
            continue;
        }
        ASSERT_TRUE(plan.has_value()) << c.label;
        EXPECT_EQ(plan->steps, c.steps) << c.label;
        std::uint64_t fetched = 0;
        std::size_t requests = 0;
        for (const PlanStep& step : c.steps) {
            if (step.fetch) fetched += step.size, ++requests;
        }
        EXPECT_EQ(plan->fetched, fetched) << c.label;
        EXPECT_EQ(plan->reused, map.installer_size - fetched) << c.label;
        EXPECT_EQ(plan->requests, requests) << c.label;
    }
}

TEST(DownloadPlan, FallsBackBeyondSixtyPercent) {
    const std::vector<std::uint32_t> tens(10, 100);
    std::vector<std::uint32_t> one_more = tens;
    one_more.back() = 101;
    const struct {
        const char* label;
        std::vector<std::uint32_t> sizes;
        std::string base;
        bool planned;
    } cases[] = {
        {"60% new", tens, "abcd", true},                // 600 of 1000 bytes fetched
        {"just over 60% new", one_more, "abcd", false},  // 601 of 1001
        {"nothing in common", tens, "", false},
        {"everything in common", tens, "abcdefghij", true},
    };
    for (const auto& c : cases) {
        const auto plan =
            plan_download(map_of("abcdefghij", c.sizes), base_of(c.base, std::vector<std::uint32_t>(c.base.size(), 100)), 0);
        EXPECT_EQ(plan.has_value(), c.planned) << c.label;
    }
    // The whole map in common: all copied, no request.
    const auto all = plan_download(map_of("ab", {5, 6}), base_of("ba", {6, 5}));
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->requests, 0u);
    EXPECT_EQ(all->steps, (std::vector<PlanStep>{copy(0, 5, 6), copy(5, 6, 0)}));
}

}  // namespace
}  // namespace plinth
