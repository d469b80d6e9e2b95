// A fresh, empty working directory for settings tests, and helpers to put
// bytes into a file there and take them out again. The old working directory
// is restored and the folder removed afterwards.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/settings_store.h"

class SettingsTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    char pattern[] = "/tmp/settings-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    CloseSettingsStore();
    ASSERT_EQ(chdir(oldDir_.c_str()), 0);
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void Put(const char* name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Get(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool Exists(const char* name) { return access(name, F_OK) == 0; }

 private:
  std::string oldDir_, dir_;
};
