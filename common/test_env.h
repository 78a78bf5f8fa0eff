// A private settings store and temporary folder for one test, under a fresh directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/identity.h"

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tovtest.XXXXXX";
    root_ = mkdtemp(tmpl);
    std::filesystem::create_directories(root_ + "/tmp");
    setenv("TOVARIN_HOME", (root_ + "/home").c_str(), 1);
    setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
    g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(root_, ec);
    unsetenv("TOVARIN_HOME");
    unsetenv("TMPDIR");
    g_ProductIdentity = ProductIdentity();
  }
  std::string root_;
};
