#include <gtest/gtest.h>

#include "spooler_test_support.h"

#include <winspool.h>

#include "install/spooler/enumerations.h"

namespace {

// An in-memory result of `Record`s whose names point at the given texts (null for a missing name).
template <typename Record>
struct BuiltResult {
  std::vector<Record> records;
  EnumerationResult result;
  BuiltResult(DWORD level, std::vector<const wchar_t*> names) : records(names.size()) {
    for (size_t i = 0; i < names.size(); ++i) records[i].pName = const_cast<LPWSTR>(names[i]);
    result = {reinterpret_cast<BYTE*>(records.data()), level, static_cast<DWORD>(records.size())};
  }
};

const std::vector<const wchar_t*> MonitorsWithOursThird = {L"Local Port", L"quillstack:", L"Quillstack:", L"Quillstack:"};
const std::vector<const wchar_t*> DriversWithOursThird = {L"Microsoft XPS Document Writer", nullptr, L"Quillstack printer"};

template <typename Record>
int FindDriverAtLevel(DWORD level, const std::vector<const wchar_t*>& names) {
  BuiltResult<Record> built(level, names);
  return FindPrinterDriver(built.result);
}

}  // namespace

TEST(FindPortMonitor, FirstExactWholeNameAtLevelsOneAndTwo) {
  BuiltResult<MONITOR_INFO_2W> level2(2, MonitorsWithOursThird);
  EXPECT_EQ(2, FindPortMonitor(level2.result));
  BuiltResult<MONITOR_INFO_1W> level1(1, MonitorsWithOursThird);
  EXPECT_EQ(2, FindPortMonitor(level1.result));
  // Letter case, a continuation, a shorter name, a missing name: none of them is ours.
  BuiltResult<MONITOR_INFO_2W> nearMisses(2, {L"QUILLSTACK:", L"Quillstack:x", L"Quillstack", L"Quillstack: ", nullptr, L""});
  EXPECT_EQ(-1, FindPortMonitor(nearMisses.result));
  // Records of other levels are never read as names.
  BuiltResult<MONITOR_INFO_2W> otherLevel(3, MonitorsWithOursThird);
  EXPECT_EQ(-1, FindPortMonitor(otherLevel.result));
  // Null entries are empty whatever the count says.
  EXPECT_EQ(-1, FindPortMonitor(EnumerationResult{nullptr, 2, 7}));
}

TEST(FindPrinterDriver, FirstExactWholeNameAtEveryLevel) {
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_1W>(1, DriversWithOursThird));
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_2W>(2, DriversWithOursThird));
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_3W>(3, DriversWithOursThird));
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_4W>(4, DriversWithOursThird));
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_5W>(5, DriversWithOursThird));
  EXPECT_EQ(2, FindDriverAtLevel<DRIVER_INFO_6W>(6, DriversWithOursThird));
  EXPECT_EQ(-1, FindDriverAtLevel<DRIVER_INFO_6W>(7, DriversWithOursThird));
  EXPECT_EQ(-1, FindDriverAtLevel<DRIVER_INFO_6W>(6, {L"Quillstack Printer", L"Quillstack printer2", L"Quillstack printe", nullptr}));
  EnumerationResult empty = {nullptr, 6, 3};
  EXPECT_EQ(-1, FindPrinterDriver(empty));
}

TEST(ListMonitors, NumbersFromOneAndMarksMissingNames) {
  TestContext ctx;
  ctx.c.LogDepth = 1;
  BuiltResult<MONITOR_INFO_2W> built(2, {L"Local Port", nullptr, L"Quillstack:"});
  ListMonitors(ctx.c, built.result);
  EXPECT_EQ(
      L"  ------- 3 existing monitors ----------\r\n  1. Local Port\r\n  2. ***EMPTY***\r\n  3. Quillstack:\r\n"
      L"  ---------------------------------------\r\n",
      ctx.Log());
  EXPECT_EQ(0, ctx.c.ErrorCount);
}

TEST(ListMonitors, EmptyResultsListNothingBetweenTheDashedLines) {
  const wchar_t* expected = L"------- 0 existing monitors ----------\r\n---------------------------------------\r\n";
  TestContext none;
  ListMonitors(none.c, EnumerationResult{nullptr, 2, 0});
  EXPECT_EQ(expected, none.Log());
  // A count without entries is still empty: nothing is read through the null block.
  TestContext nullEntries;
  ListMonitors(nullEntries.c, EnumerationResult{nullptr, 2, 5});
  EXPECT_EQ(expected, nullEntries.Log());
  // Level-1 records are read at their own size.
  TestContext level1;
  BuiltResult<MONITOR_INFO_1W> built(1, {L"Local Port", L"Quillstack:"});
  ListMonitors(level1.c, built.result);
  EXPECT_EQ(L"------- 2 existing monitors ----------\r\n1. Local Port\r\n2. Quillstack:\r\n---------------------------------------\r\n",
            level1.Log());
}

TEST(EnumerateDrivers, LevelSixResultOrAnEmptyOne) {
  EnumerationResult result = EnumerateDrivers(L"Windows x64");
  EXPECT_EQ(6u, result.Level);
  EXPECT_EQ(result.Entries == nullptr, result.Count == 0);
  EXPECT_EQ(-1, FindPrinterDriver(result));
  if (result.Entries != nullptr) GlobalFree(result.Entries);
  EnumerationResult unknown = EnumerateDrivers(L"No Such Environment");
  EXPECT_EQ(nullptr, unknown.Entries);
  EXPECT_EQ(0u, unknown.Count);
}
