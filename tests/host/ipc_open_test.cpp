// IpcOpen and IpcClose against the fake server: the handshake's batches and
// pauses, every failure code of IpcOpen with what it leaves behind, block
// names, and the release order of IpcClose.
#include "ipc_test_fixture.h"

TEST_F(IpcTest, FirstHandshakeBatchReadsBothValuesThenWritesTheClientTag) {
  uint32_t counter = nameCounter;
  int32_t result = -1;
  ASSERT_TRUE(IpcOpen(0, &result));
  EXPECT_EQ(result, IpcOk);

  const FakeIpcServerState& server = FakeServer();
  EXPECT_EQ(server.events, SendsAndPauses(1));
  ASSERT_EQ(server.batches.size(), 1u);
  const std::vector<uint8_t>& batch = server.batches[0];
  ASSERT_EQ(batch.size(), 58u);  // end of list at byte 54
  struct Header {
    size_t at;
    uint32_t type, offset, size;
  } headers[] = {{0, 1, 0x3304, 4}, {20, 1, 0x3308, 4}, {40, 2, 0x330A, 2}};
  for (const Header& h : headers) {
    EXPECT_EQ(Le32(batch, h.at), h.type) << h.at;
    EXPECT_EQ(Le32(batch, h.at + 4), h.offset) << h.at;
    EXPECT_EQ(Le32(batch, h.at + 8), h.size) << h.at;
  }
  EXPECT_EQ(Le32(batch, 12), Low32(&IpcLink.serverVersion));
  EXPECT_EQ(Le32(batch, 32), Low32(&IpcLink.simulatorTag));
  EXPECT_EQ(Le32(batch, 16), 0u);  // read data zero-filled when queued
  EXPECT_EQ(Le32(batch, 36), 0u);
  EXPECT_EQ(batch[52], 0xD2);
  EXPECT_EQ(batch[53], 0x07);
  EXPECT_EQ(Le32(batch, 54), 0u);

  EXPECT_EQ(server.clientTag, 2002u);
  EXPECT_EQ(IpcLink.serverVersion, 0x19980005u);
  EXPECT_EQ(IpcLink.simulatorTag, 7u);  // marker cleared, identifier kept
  EXPECT_EQ(IpcLink.nextFree, IpcLink.block);
  EXPECT_EQ(server.atomNames, std::vector<std::string>{BlockName(counter + 1)});
  EXPECT_EQ(FakeLiveAtoms(), 1);
}

TEST_F(IpcTest, LaterHandshakePassesSendOnlyTheTwoReads) {
  FakeServer().handshakeFromExchange = 3;
  int32_t result = -1;
  ASSERT_TRUE(IpcOpen(0, &result));
  EXPECT_EQ(result, IpcOk);
  const FakeIpcServerState& server = FakeServer();
  EXPECT_EQ(server.events, SendsAndPauses(3));
  ASSERT_EQ(server.batches.size(), 3u);
  EXPECT_EQ(server.batches[0].size(), 58u);
  for (size_t i = 1; i < 3; ++i) {
    const std::vector<uint8_t>& batch = server.batches[i];
    ASSERT_EQ(batch.size(), 44u) << i;  // end of list at byte 40
    EXPECT_EQ(Le32(batch, 0), 1u);
    EXPECT_EQ(Le32(batch, 4), 0x3304u);
    EXPECT_EQ(Le32(batch, 20), 1u);
    EXPECT_EQ(Le32(batch, 24), 0x3308u);
    EXPECT_EQ(Le32(batch, 40), 0u);
  }
}

TEST_F(IpcTest, HandshakeVerdicts) {
  struct Case {
    const char* name;
    bool uipc, fs98;
    uint32_t version;
    uint16_t marker;
    int handshakeFromExchange;
    int32_t expected;
    int exchanges;
  } cases[] = {
      {"values never presented", true, false, 0x19980005, 0xFADE, 99, IpcErrVersion, 5},
      {"values never presented, FS98MAIN", false, true, 0x19980005, 0xFADE, 99,
       IpcErrVersionFallback, 5},
      {"both windows: UIPCMAIN decides", true, true, 0x19980005, 0xFADE, 99, IpcErrVersion, 5},
      {"old version", true, false, 0x19980004, 0xFADE, 1, IpcErrVersion, 1},
      {"wrong marker", true, false, 0x19980005, 0xFADF, 1, IpcErrVersion, 1},
      {"wrong marker, FS98MAIN", false, true, 0x19980005, 0xDEFA, 1, IpcErrVersionFallback, 1},
      {"values at the fifth exchange", true, false, 0x19980005, 0xFADE, 5, IpcOk, 5},
      {"version compared unsigned", true, false, 0x80000000, 0xFADE, 1, IpcOk, 1},
      {"FS98MAIN with valid values", false, true, 0x20000000, 0xFADE, 2, IpcOk, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    FakeIpcServerState& server = FakeServer();
    server.uipcWindow = c.uipc;
    server.fs98Window = c.fs98;
    server.version = c.version;
    server.marker = c.marker;
    server.handshakeFromExchange = c.handshakeFromExchange;
    int32_t result = -1;
    EXPECT_EQ(IpcOpen(0, &result), c.expected == IpcOk);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(server.events, SendsAndPauses(c.exchanges));
    EXPECT_EQ(IpcLink.block != nullptr, c.expected == IpcOk);
    if (c.expected != IpcOk) EXPECT_EQ(FakeLiveAtoms(), 0);
  }
}

TEST_F(IpcTest, SimulatorIdentifierMustMatchUnlessZero) {
  struct Case {
    uint16_t serverId;
    uint32_t wanted;
    int32_t expected;
  } cases[] = {
      {7, 0, IpcOk},
      {7, 7, IpcOk},
      {7, 8, IpcErrWrongSimulator},
      {7, 0x10007, IpcErrWrongSimulator},  // the marker half is not part of the id
      {0, 0, IpcOk},
      {0, 5, IpcErrWrongSimulator},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "server " << c.serverId << " wanted " << c.wanted);
    Fresh();
    FakeServer().simulatorId = c.serverId;
    int32_t result = -1;
    EXPECT_EQ(IpcOpen(c.wanted, &result), c.expected == IpcOk);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(IpcLink.block != nullptr, c.expected == IpcOk);
    if (c.expected == IpcOk) EXPECT_EQ(IpcLink.simulatorTag, c.serverId);
  }
}

TEST_F(IpcTest, OpenFailuresReleaseWhatTheyAcquiredAndUseUpANameWhenTheyGotThatFar) {
  struct Case {
    const char* name;
    void (*arrange)(FakeIpcServerState&);
    int32_t expected;
    bool usesName;
  } cases[] = {
      {"no server", [](FakeIpcServerState& s) { s.uipcWindow = false; }, IpcErrNoServer, false},
      {"message refused", [](FakeIpcServerState& s) { s.refuseMessage = true; },
       IpcErrRegisterMessage, false},
      {"atom refused", [](FakeIpcServerState& s) { s.refuseAtom = true; }, IpcErrAtom, true},
      {"mapping refused", [](FakeIpcServerState& s) { s.refuseMapping = true; }, IpcErrMapping,
       true},
      {"name taken", [](FakeIpcServerState&) { FakeCreateForeignMapping(BlockName(nameCounter + 1)); },
       IpcErrMapping, true},
      {"view refused", [](FakeIpcServerState& s) { s.refuseView = true; }, IpcErrView, true},
      {"first exchange unanswered",
       [](FakeIpcServerState& s) {
         s.failingSends = 100;
         s.sendError = 0;
       },
       IpcErrNoAnswer, true},
      {"first exchange refused", [](FakeIpcServerState& s) { s.reply = 0; }, IpcErrBadReply, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    c.arrange(FakeServer());
    uint32_t counter = nameCounter;
    int32_t result = -1;
    EXPECT_FALSE(IpcOpen(0, &result));
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(IpcLink.block, nullptr);
    EXPECT_EQ(IpcLink.atom, 0);
    EXPECT_EQ(IpcLink.mapping, nullptr);
    EXPECT_EQ(FakeLiveAtoms(), 0);
    EXPECT_EQ(FakeOpenMappingHandles(), 0);
    EXPECT_EQ(FakeMappedViews(), 0);
    EXPECT_EQ(nameCounter, counter + (c.usesName ? 1 : 0));
    if (c.usesName)
      EXPECT_EQ(FakeServer().atomNames, std::vector<std::string>{BlockName(counter + 1)});
    else
      EXPECT_TRUE(FakeServer().atomNames.empty());
  }
}

TEST_F(IpcTest, EveryAttemptThatNamesABlockTakesTheNextNumber) {
  nameCounter = 0x2AD;  // names are upper-case hex without leading zeros
  int32_t result = -1;
  FakeServer().refuseAtom = true;
  EXPECT_FALSE(IpcOpen(0, &result));
  FakeServer().refuseAtom = false;
  FakeServer().handshakeFromExchange = 99;
  EXPECT_FALSE(IpcOpen(0, &result));
  FakeServer().handshakeFromExchange = 1;
  EXPECT_TRUE(IpcOpen(0, &result));
  IpcClose();
  EXPECT_TRUE(IpcOpen(0, &result));
  EXPECT_EQ(FakeServer().atomNames,
            (std::vector<std::string>{"FsasmLib:IPC:1A2B:2AE", "FsasmLib:IPC:1A2B:2AF",
                                      "FsasmLib:IPC:1A2B:2B0", "FsasmLib:IPC:1A2B:2B1"}));
  EXPECT_EQ(nameCounter, 0x2B1u);
}

TEST_F(IpcTest, OpenOnAnOpenLinkChangesNothing) {
  OpenLink();
  IpcLinkState before = IpcLink;
  uint32_t counter = nameCounter;
  int32_t result = -1;
  EXPECT_FALSE(IpcOpen(0, &result));
  EXPECT_EQ(result, IpcErrAlreadyOpen);
  EXPECT_EQ(nameCounter, counter);
  EXPECT_EQ(IpcLink.block, before.block);
  EXPECT_EQ(IpcLink.atom, before.atom);
  EXPECT_TRUE(FakeServer().events.empty());

  FakePoke(0x3324, 4, 12345);
  int32_t altitude = 0;
  EXPECT_TRUE(IpcRead(0x3324, 4, &altitude, &result));
  EXPECT_TRUE(IpcProcess(&result));
  EXPECT_EQ(altitude, 12345);
}

TEST_F(IpcTest, CloseReleasesAtomViewMappingInThatOrderAndOnlyOnce) {
  OpenLink();
  IpcClose();
  EXPECT_EQ(FakeServer().releases, (std::vector<std::string>{"atom", "view", "mapping"}));
  EXPECT_EQ(IpcLink.serverWindow, nullptr);
  EXPECT_EQ(IpcLink.messageId, 0u);
  EXPECT_EQ(IpcLink.atom, 0);
  EXPECT_EQ(IpcLink.block, nullptr);
  EXPECT_EQ(IpcLink.mapping, nullptr);
  IpcClose();
  IpcClose();
  EXPECT_EQ(FakeServer().releases.size(), 3u);
}

TEST_F(IpcTest, NullResultPointerIsAllowed) {
  EXPECT_TRUE(IpcOpen(0, nullptr));
  int32_t altitude = 0;
  EXPECT_TRUE(IpcRead(0x3324, 4, &altitude, nullptr));
  EXPECT_TRUE(IpcProcess(nullptr));
  EXPECT_FALSE(IpcProcess(nullptr));
}
