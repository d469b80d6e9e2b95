// Shared set-up of the IPC client tests: a fresh fake server per test, and
// a check at the end that the client released every atom, view and mapping.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fake_ipc_system.h"
#include "simlink/ipc_client.h"

class IpcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IpcClose();
    ResetFakeIpcSystem();
  }
  void TearDown() override { Fresh(); }

  // Closes the link, checks that nothing is left behind, and starts over
  // with an honest server (between the cases of a table too).
  static void Fresh() {
    IpcClose();
    EXPECT_EQ(FakeLiveAtoms(), 0);
    EXPECT_EQ(FakeOpenMappingHandles(), 0);
    EXPECT_EQ(FakeMappedViews(), 0);
    ResetFakeIpcSystem();
  }

  // Opens the link against the honest server and forgets the handshake's
  // traces, so a test sees only its own exchanges.
  void OpenLink() {
    int32_t result = -1;
    ASSERT_TRUE(IpcOpen(0, &result));
    ASSERT_EQ(result, IpcOk);
    FakeServer().events.clear();
    FakeServer().batches.clear();
  }

  static std::string BlockName(uint32_t counter) {
    char name[64];
    std::snprintf(name, sizeof name, "FsasmLib:IPC:1A2B:%X", static_cast<unsigned>(counter));
    return name;
  }

  static std::vector<std::string> SendsAndPauses(int exchanges) {
    std::vector<std::string> events;
    for (int i = 0; i < exchanges; ++i) {
      events.push_back("send");
      events.push_back("sleep 100");
    }
    return events;
  }
};

inline uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

inline uint32_t Low32(const void* address) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}
