// Queueing and IpcProcess against the fake server: block layout, capacity,
// the send attempts and their codes, and replies from a server that alters
// the block, with nothing written outside the destinations given to IpcRead.
#include "ipc_test_fixture.h"

namespace {

// The poll's five destinations between guard bytes, as the workers stage them.
struct GuardedPoll {
  uint8_t before[32];
  int32_t altitude;
  uint16_t baroRaw;
  uint16_t lightsRaw;
  int8_t switchRaw;
  uint8_t between[7];
  int32_t iasRaw;
  uint8_t after[32];
};

GuardedPoll FilledPoll() {
  GuardedPoll poll;
  std::memset(&poll, 0xA5, sizeof poll);
  return poll;
}

void QueuePoll(GuardedPoll& poll) {
  int32_t result = -1;
  ASSERT_TRUE(IpcRead(0x3324, 4, &poll.altitude, &result));
  ASSERT_TRUE(IpcRead(0x0330, 2, &poll.baroRaw, &result));
  ASSERT_TRUE(IpcRead(0x0D0C, 2, &poll.lightsRaw, &result));
  ASSERT_TRUE(IpcRead(0x3102, 1, &poll.switchRaw, &result));
  ASSERT_TRUE(IpcRead(0x02BC, 4, &poll.iasRaw, &result));
  ASSERT_EQ(result, IpcOk);
}

void PokePollValues() {
  FakePoke(0x3324, 4, static_cast<uint32_t>(-1250));
  FakePoke(0x0330, 2, 16212);
  FakePoke(0x0D0C, 2, 0x0301);
  FakePoke(0x3102, 1, 0xFF);
  FakePoke(0x02BC, 4, 280 * 128);
}

void PutLe32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
uint32_t GetLe32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

}  // namespace

TEST_F(IpcTest, PollDeliversFiveValuesExactlyIntoTheirFields) {
  OpenLink();
  PokePollValues();
  GuardedPoll poll = FilledPoll();
  GuardedPoll expected = poll;
  expected.altitude = -1250;
  expected.baroRaw = 16212;
  expected.lightsRaw = 0x0301;
  expected.switchRaw = -1;
  expected.iasRaw = 280 * 128;

  QueuePoll(poll);
  int32_t result = -1;
  ASSERT_TRUE(IpcProcess(&result));
  EXPECT_EQ(result, IpcOk);
  EXPECT_EQ(std::memcmp(&poll, &expected, sizeof poll), 0);  // guards and padding intact
  EXPECT_EQ(FakeServer().events, std::vector<std::string>{"send"});

  const std::vector<uint8_t>& batch = FakeServer().batches.at(0);
  ASSERT_EQ(batch.size(), 97u);  // end of list at 93
  const size_t starts[] = {0, 20, 38, 56, 73};
  const uint32_t sizes[] = {4, 2, 2, 1, 4};
  const void* destinations[] = {&poll.altitude, &poll.baroRaw, &poll.lightsRaw, &poll.switchRaw,
                                &poll.iasRaw};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Le32(batch, starts[i]), 1u) << i;
    EXPECT_EQ(Le32(batch, starts[i] + 8), sizes[i]) << i;
    EXPECT_EQ(Le32(batch, starts[i] + 12), Low32(destinations[i])) << i;
  }
  EXPECT_EQ(Le32(batch, 93), 0u);

  // The block is reused: a second poll sees new values.
  FakePoke(0x3324, 4, 35000);
  QueuePoll(poll);
  ASSERT_TRUE(IpcProcess(&result));
  EXPECT_EQ(poll.altitude, 35000);
}

TEST_F(IpcTest, OneByteReadThenFourByteReadLieBackToBack) {
  OpenLink();
  FakePoke(0x3102, 1, 0x7E);
  FakePoke(0x3324, 4, 0x01020304);
  uint8_t bytes[3] = {0xEE, 0xEE, 0xEE};
  uint32_t word = 0;
  int32_t result = -1;
  ASSERT_TRUE(IpcRead(0x3102, 1, &bytes[1], &result));
  EXPECT_EQ(IpcLink.nextFree - IpcLink.block, 17);
  ASSERT_TRUE(IpcRead(0x3324, 4, &word, &result));
  ASSERT_TRUE(IpcProcess(&result));
  const std::vector<uint8_t>& batch = FakeServer().batches.at(0);
  EXPECT_EQ(Le32(batch, 17), 1u);
  EXPECT_EQ(Le32(batch, 21), 0x3324u);
  EXPECT_EQ(Le32(batch, 37), 0u);
  EXPECT_EQ(bytes[0], 0xEE);
  EXPECT_EQ(bytes[1], 0x7E);
  EXPECT_EQ(bytes[2], 0xEE);
  EXPECT_EQ(word, 0x01020304u);
}

TEST_F(IpcTest, NullDestinationAndEmptyReadAreSentAndDeliverNothing) {
  OpenLink();
  FakePoke(0x3324, 4, 777);
  FakePoke(0x0330, 4, 0xFFFFFFFF);
  uint32_t untouched = 0x5A5A5A5A;
  int32_t result = -1;
  ASSERT_TRUE(IpcRead(0x3324, 4, nullptr, &result));
  ASSERT_TRUE(IpcRead(0x0330, 0, &untouched, &result));
  EXPECT_EQ(IpcLink.nextFree - IpcLink.block, 36);
  ASSERT_TRUE(IpcProcess(&result));
  EXPECT_EQ(untouched, 0x5A5A5A5Au);
  const std::vector<uint8_t>& batch = FakeServer().batches.at(0);
  ASSERT_EQ(batch.size(), 40u);
  EXPECT_EQ(Le32(batch, 12), 0u);
  EXPECT_EQ(Le32(batch, 20 + 8), 0u);
  EXPECT_EQ(Le32(batch, 20 + 12), Low32(&untouched));
}

TEST_F(IpcTest, CapacityIsTestedWithoutOverflow) {
  struct Case {
    uint32_t firstSize;  // a read queued first, or none for ~0u
    bool write;
    uint32_t size;
    bool accepted;
  } cases[] = {
      {~0u, false, 32496, true},   {~0u, false, 32497, false}, {~0u, true, 32496, true},
      {~0u, true, 32497, false},   {0, false, 32480, true},    {0, false, 32481, false},
      {100, true, 32380, true},    {100, true, 32381, false},  {~0u, false, 0xFFFFFFFF, false},
      {~0u, false, 0xFFFFFFF0, false}, {4, false, 0xFFFFFFEC, false},
  };
  static uint8_t source[32500];
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "first " << c.firstSize << " write " << c.write << " size "
                                    << c.size);
    Fresh();
    OpenLink();
    int32_t result = -1;
    if (c.firstSize != ~0u) ASSERT_TRUE(IpcRead(0x100, c.firstSize, nullptr, &result));
    uint8_t* before = IpcLink.nextFree;
    bool queued = c.write ? IpcWrite(0x100, c.size, source, &result)
                          : IpcRead(0x100, c.size, nullptr, &result);
    EXPECT_EQ(queued, c.accepted);
    EXPECT_EQ(result, c.accepted ? IpcOk : IpcErrBlockFull);
    if (!c.accepted) EXPECT_EQ(IpcLink.nextFree, before);
    if (c.accepted || c.firstSize != ~0u) EXPECT_TRUE(IpcProcess(&result)) << result;
  }
}

TEST_F(IpcTest, TheSmallestRequestsFillTheBlockToItsLastRecord) {
  OpenLink();
  int32_t result = -1;
  uint32_t writes = 0;
  while (IpcWrite(0x4000, 0, nullptr, &result)) ++writes;
  EXPECT_EQ(result, IpcErrBlockFull);
  EXPECT_EQ(writes, kIpcMaxRequests);
  EXPECT_FALSE(IpcRead(0x3324, 0, nullptr, &result));
  EXPECT_TRUE(IpcProcess(&result));
  EXPECT_EQ(FakeServer().batches.at(0).size(), kIpcMaxRequests * 12 + 4);
}

TEST_F(IpcTest, ClosedLinkAndEmptyQueue) {
  int32_t result = -1;
  uint32_t value = 3;
  EXPECT_FALSE(IpcRead(0x3324, 4, &value, &result));
  EXPECT_EQ(result, IpcErrNotOpen);
  result = -1;
  EXPECT_FALSE(IpcWrite(0x3324, 4, &value, &result));
  EXPECT_EQ(result, IpcErrNotOpen);
  result = -1;
  EXPECT_FALSE(IpcProcess(&result));
  EXPECT_EQ(result, IpcErrNotOpen);
  EXPECT_TRUE(FakeServer().events.empty());

  OpenLink();
  EXPECT_FALSE(IpcProcess(&result));
  EXPECT_EQ(result, IpcErrNoRequests);
  EXPECT_TRUE(FakeServer().events.empty());
  EXPECT_NE(IpcLink.block, nullptr);
}

TEST_F(IpcTest, WritesReachTheServer) {
  OpenLink();
  const uint8_t bytes[3] = {1, 2, 3};
  int32_t result = -1;
  ASSERT_TRUE(IpcWrite(0x0BC0, 3, bytes, &result));
  uint32_t readBack = 0;
  ASSERT_TRUE(IpcRead(0x0BC0, 3, &readBack, &result));  // served after the write
  ASSERT_TRUE(IpcProcess(&result));
  EXPECT_EQ(readBack, 0x030201u);
  EXPECT_EQ(FakeServer().batches.at(0).size(), 12u + 3 + 16 + 3 + 4);
}

TEST_F(IpcTest, SendAttemptsAndTheirCodes) {
  struct Case {
    const char* name;
    int failingSends;
    uint32_t error;
    bool windowGone;
    int32_t expected;
    int attempts;
  } cases[] = {
      {"silent failures", 100, 0, false, IpcErrNoAnswer, 9},
      {"refused sends", 100, 1460, false, IpcErrSendFailed, 9},
      {"window gone", 0, 0, true, IpcErrSendFailed, 9},
      {"ninth attempt answered", 8, 1460, false, IpcOk, 9},
      {"second attempt answered", 1, 0, false, IpcOk, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    OpenLink();
    FakePoke(0x3324, 4, 4242);
    FakeServer().failingSends = c.failingSends;
    FakeServer().sendError = c.error;
    if (c.windowGone) FakeServer().uipcWindow = false;
    FakeServer().lastError = 99;  // stale, from before the exchange
    int32_t altitude = -7;
    int32_t result = -1;
    ASSERT_TRUE(IpcRead(0x3324, 4, &altitude, &result));
    EXPECT_EQ(IpcProcess(&result), c.expected == IpcOk);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(altitude, c.expected == IpcOk ? 4242 : -7);

    std::vector<std::string> events;
    for (int i = 0; i < c.attempts; ++i) {
      events.push_back("send");
      if (i + 1 < c.attempts || c.expected != IpcOk) events.push_back("sleep 100");
    }
    EXPECT_EQ(FakeServer().events, events);
    // Failed or not, the queue is empty and the link stays open.
    EXPECT_EQ(IpcLink.nextFree, IpcLink.block);
    EXPECT_NE(IpcLink.block, nullptr);
  }
}

TEST_F(IpcTest, ReplyOtherThanOneDeliversNothing) {
  const uint64_t replies[] = {0, 2, 0xFFFFFFFFFFFFFFFFull, 0x100000001ull};
  for (uint64_t reply : replies) {
    SCOPED_TRACE(reply);
    Fresh();
    OpenLink();
    PokePollValues();
    FakeServer().reply = reply;
    GuardedPoll poll = FilledPoll();
    const GuardedPoll before = poll;
    QueuePoll(poll);
    int32_t result = -1;
    EXPECT_FALSE(IpcProcess(&result));
    EXPECT_EQ(result, IpcErrBadReply);
    EXPECT_EQ(std::memcmp(&poll, &before, sizeof poll), 0);
    EXPECT_FALSE(IpcProcess(&result));
    EXPECT_EQ(result, IpcErrNoRequests);
  }
}

// A server that alters what it must leave alone gets IpcErrBadReply, and no
// byte outside the given destinations changes: not the guards, not the
// padding, not even the destinations (a reply is delivered whole or not at
// all). AddressSanitizer watches the reads: the fake's block is exactly
// 32,768 bytes of heap.
TEST_F(IpcTest, AlteredRepliesAreRefusedAndWriteNothing) {
  static GuardedPoll poll;
  struct Case {
    const char* name;
    void (*alter)(uint8_t* block);
  } cases[] = {
      {"read turned into a write", [](uint8_t* b) { PutLe32(b + 0, 2); }},
      {"first type cleared", [](uint8_t* b) { PutLe32(b + 0, 0); }},
      {"unknown type", [](uint8_t* b) { PutLe32(b + 20, 7); }},
      {"size grown by one", [](uint8_t* b) { PutLe32(b + 38 + 8, 3); }},
      {"size shrunk", [](uint8_t* b) { PutLe32(b + 0 + 8, 1); }},
      {"size beyond the block", [](uint8_t* b) { PutLe32(b + 73 + 8, 0x8000); }},
      {"size all ones", [](uint8_t* b) { PutLe32(b + 0 + 8, 0xFFFFFFFF); }},
      {"destination moved", [](uint8_t* b) { PutLe32(b + 20 + 12, GetLe32(b + 20 + 12) + 4); }},
      {"destination cleared", [](uint8_t* b) { PutLe32(b + 0 + 12, 0); }},
      {"destination aimed at a guard",
       [](uint8_t* b) { PutLe32(b + 56 + 12, Low32(poll.after)); }},
      {"end of list removed", [](uint8_t* b) { PutLe32(b + 93, 1); }},
      {"end of list replaced by a read into a guard",
       [](uint8_t* b) {
         PutLe32(b + 93, 1);
         PutLe32(b + 93 + 4, 0x3324);
         PutLe32(b + 93 + 8, 32);
         PutLe32(b + 93 + 12, Low32(poll.before));
         std::memset(b + 93 + 16, 0x11, 32);
         PutLe32(b + 93 + 48, 0);
       }},
      {"whole block scribbled", [](uint8_t* b) { std::memset(b, 0xFF, 0x8000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    OpenLink();
    PokePollValues();
    FakeServer().afterServe = c.alter;
    poll = FilledPoll();
    const GuardedPoll before = poll;
    QueuePoll(poll);
    int32_t result = -1;
    EXPECT_FALSE(IpcProcess(&result));
    EXPECT_EQ(result, IpcErrBadReply);
    EXPECT_EQ(std::memcmp(&poll, &before, sizeof poll), 0);
    EXPECT_EQ(IpcLink.nextFree, IpcLink.block);
    EXPECT_NE(IpcLink.block, nullptr);
  }
}

TEST_F(IpcTest, AlteredWriteHeaderIsRefused) {
  OpenLink();
  FakeServer().afterServe = [](uint8_t* b) { PutLe32(b + 8, 40); };  // the write's size
  const uint8_t bytes[2] = {1, 2};
  uint32_t value = 9;
  int32_t result = -1;
  ASSERT_TRUE(IpcWrite(0x0BC0, 2, bytes, &result));
  ASSERT_TRUE(IpcRead(0x3324, 4, &value, &result));
  EXPECT_FALSE(IpcProcess(&result));
  EXPECT_EQ(result, IpcErrBadReply);
  EXPECT_EQ(value, 9u);
}

TEST_F(IpcTest, ServerMayChangeDataAndOffsetsButNotTheHeadersItKeeps) {
  OpenLink();
  PokePollValues();
  FakeServer().afterServe = [](uint8_t* b) {
    PutLe32(b + 4, 0xDEAD);       // offset of the first read
    b[20 + 16] = 0x34;           // baroRaw's two data bytes
    b[20 + 17] = 0x12;
  };
  GuardedPoll poll = FilledPoll();
  QueuePoll(poll);
  int32_t result = -1;
  ASSERT_TRUE(IpcProcess(&result));
  EXPECT_EQ(poll.altitude, -1250);
  EXPECT_EQ(poll.baroRaw, 0x1234);
  EXPECT_EQ(poll.lightsRaw, 0x0301);
}
