// The workers' single steps against the in-process fake server: the poll
// batch as the server sees it, values published whole into FlightData, and
// the way down after a failed exchange.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "flight_data_reset.h"
#include "ipc_test_fixture.h"
#include "simlink/flight_data.h"
#include "simlink/lock.h"
#include "simlink/workers.h"

namespace {

class WorkersTest : public IpcTest {
 protected:
  void SetUp() override {
    IpcTest::SetUp();
    ZeroFlightData();
  }
  void TearDown() override {
    FlightData.connected = 0;
    IpcTest::TearDown();
  }
};

TEST_F(WorkersTest, PollSendsFiveReadsAndPublishesEachFieldAtItsWidth) {
  FakePoke(0x3324, 4, static_cast<uint32_t>(-250));
  FakePoke(0x0330, 2, 16212);
  FakePoke(0x0D0C, 2, 0xBEEF);
  FakePoke(0x3102, 2, 0x77FF);  // only the low byte belongs to the switch
  FakePoke(0x02BC, 4, 32000);

  ConnectOnce();
  ASSERT_EQ(FlightData.connected.load(), 1);
  FakeServer().batches.clear();
  PollOnce();

  EXPECT_EQ(FlightData.altitude.load(), -250);
  EXPECT_EQ(FlightData.baroRaw.load(), 16212);
  EXPECT_EQ(FlightData.lightsRaw.load(), 0xBEEF);
  EXPECT_EQ(FlightData.switchRaw.load(), -1);
  EXPECT_EQ(FlightData.iasRaw.load(), 32000);

  ASSERT_EQ(FakeServer().batches.size(), 1u);
  const std::vector<uint8_t>& batch = FakeServer().batches[0];
  struct Expected {
    size_t at;
    uint32_t offset, size;
  } reads[] = {{0, 0x3324, 4}, {20, 0x0330, 2}, {38, 0x0D0C, 2}, {56, 0x3102, 1}, {73, 0x02BC, 4}};
  for (const Expected& read : reads) {
    SCOPED_TRACE(read.at);
    EXPECT_EQ(Le32(batch, read.at), 1u);
    EXPECT_EQ(Le32(batch, read.at + 4), read.offset);
    EXPECT_EQ(Le32(batch, read.at + 8), read.size);
  }
  ASSERT_EQ(batch.size(), 97u);  // the end-of-list word at 93
  EXPECT_EQ(Le32(batch, 93), 0u);
}

TEST_F(WorkersTest, FailedExchangeClosesTheLinkAndKeepsTheLastValues) {
  FakePoke(0x3324, 4, 12345);
  ConnectOnce();
  PollOnce();
  ASSERT_EQ(FlightData.altitude.load(), 12345);

  FakePoke(0x3324, 4, 20000);
  FakeServer().reply = 0;
  PollOnce();
  EXPECT_EQ(FlightData.connected.load(), 0);
  EXPECT_EQ(FlightData.altitude.load(), 12345);
  EXPECT_EQ(IpcLink.block, nullptr);
  EXPECT_EQ(FakeLiveAtoms(), 0);

  // ConnectWorker's next attempt finds the closed link and opens a new one.
  FakeServer().reply = 1;
  ConnectOnce();
  EXPECT_EQ(FlightData.connected.load(), 1);
  PollOnce();
  EXPECT_EQ(FlightData.altitude.load(), 20000);
}

TEST_F(WorkersTest, ConnectDoesNothingWhileTheLinkIsUp) {
  ConnectOnce();
  ASSERT_EQ(FlightData.connected.load(), 1);
  size_t atoms = FakeServer().atomNames.size();
  ConnectOnce();
  EXPECT_EQ(FakeServer().atomNames.size(), atoms);
  EXPECT_EQ(FlightData.connected.load(), 1);
}

TEST_F(WorkersTest, NoServerLeavesTheLinkDown) {
  FakeServer().uipcWindow = false;
  ConnectOnce();
  EXPECT_EQ(FlightData.connected.load(), 0);
  EXPECT_EQ(LastIpcResult, IpcErrNoServer);
}

}  // namespace

namespace {

TEST_F(WorkersTest, ExitClosesTheLinkAndKeepsTheLock) {
  ConnectOnce();
  ASSERT_EQ(FakeLiveAtoms(), 1);
  EXPECT_TRUE(CloseLinkForExit());
  EXPECT_EQ(FakeLiveAtoms(), 0);
  EXPECT_EQ(IpcLink.block, nullptr);
  // Held for the rest of the process: no worker could reopen the link.
  bool workerGotLock = true;
  std::thread([&] { workerGotLock = TryLockFlightData(); }).join();
  EXPECT_FALSE(workerGotLock);
  UnlockFlightData();
}

TEST_F(WorkersTest, ExitDoesNotWaitForABusyWorker) {
  ConnectOnce();
  std::promise<void> locked, release;
  std::thread worker([&] {  // a worker in a long exchange
    LockFlightData();
    locked.set_value();
    release.get_future().wait();
    UnlockFlightData();
  });
  locked.get_future().wait();
  EXPECT_FALSE(CloseLinkForExit());
  EXPECT_EQ(FakeLiveAtoms(), 1);
  release.set_value();
  worker.join();
}

}  // namespace
