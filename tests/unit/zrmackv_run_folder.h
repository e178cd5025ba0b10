// A fresh folder per in-process macro-processor run, made current for the
// test's duration, with standard output caught in a temporary file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"

namespace zrmackv_test {

namespace fs = std::filesystem;

// A fresh folder per test, made current for the test's duration.
class RunFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_unit_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    out_ = std::tmpfile();
    host::clear_interrupt();
  }
  void TearDown() override {
    host::clear_interrupt();
    std::fclose(out_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(name).parent_path().empty() ? "." : fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out_)) > 0) text.append(buf, n);
    return text;
  }

  fs::path old_, dir_;
  std::FILE* out_ = nullptr;
};

}  // namespace zrmackv_test
