// The event loop's supervision decision and its end-of-loop test.
#include <gtest/gtest.h>

#include "app/event_loop.h"

TEST(EventLoop, SupervisionStartsAndEndsReadWorkerWithTheLink) {
  struct Case {
    bool connected, readerRunning;
    SupervisionAction expected;
  } cases[] = {
      {true, false, SupervisionStartReader},
      {true, true, SupervisionNone},
      {false, true, SupervisionStopReader},
      {false, false, SupervisionNone},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideSupervision(c.connected, c.readerRunning), c.expected)
        << "connected=" << c.connected << " running=" << c.readerRunning;
}

TEST(EventLoop, OnlyACloseRequestEndsTheLoop) {
  EXPECT_TRUE(HandleEvent(NoEvent));
  EXPECT_TRUE(HandleEvent(EventWindowMoved));
  EXPECT_FALSE(HandleEvent(EventCloseRequested));
}
