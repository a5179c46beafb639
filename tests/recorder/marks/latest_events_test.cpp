#include "recorder/marks/latest_events.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvik {
namespace {

TEST(LatestEvents, KeepsTheNewestInOrderWhileNobodyTakesThem) {
  LatestEvents<int, 4> events;
  for (int i = 1; i <= 3; ++i) events.Push(i);
  EXPECT_EQ(events.Take(), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(events.Take().empty());
  for (int i = 1; i <= 11; ++i) events.Push(i);
  EXPECT_EQ(events.Take(), (std::vector<int>{8, 9, 10, 11}));
  events.Push(12);
  EXPECT_EQ(events.Take(), (std::vector<int>{12}));
}

}  // namespace
}  // namespace orvik
