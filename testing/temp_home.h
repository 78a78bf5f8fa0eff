// A private settings store and temporary folder for one test, under a fresh directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/identity.h"
#include "testing/temp_folder.h"

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform::testing::MakeTempFolder("tovtest");
    ASSERT_FALSE(root_.empty());
    std::filesystem::create_directories(root_ + "/tmp");
    if (const char* t = getenv("TMPDIR")) outerTmp_ = t;
    setenv("TOVARIN_HOME", (root_ + "/home").c_str(), 1);
    setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
    g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(root_, ec);
    unsetenv("TOVARIN_HOME");
    // The run's own temporary folder again, for the next test's folder.
    if (outerTmp_) {
      setenv("TMPDIR", outerTmp_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    g_ProductIdentity = ProductIdentity();
  }
  std::string root_;
  std::optional<std::string> outerTmp_;
};
