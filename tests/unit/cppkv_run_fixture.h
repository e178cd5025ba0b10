// A whole cppkv run in-process, in a fresh folder of its own, with the
// preprocessed text seen through a capturing sink.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cppkv/cppkv.h"

namespace cppkv {

class CppkvRunTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(testing::TempDir()) /
           ("cppkv_run_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }

  void file(const std::string& name, const std::string& text) {
    std::filesystem::path p(name);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(name, std::ios::binary) << text;
  }

  int run(const std::vector<std::string>& args, const std::string& stdin_text = "",
          const Environment& env = {}) {
    std::string in_copy = stdin_text;
    std::FILE* in = in_copy.empty() ? std::tmpfile() : fmemopen(in_copy.data(), in_copy.size(), "rb");
    int code = run_on(in, args, env);
    std::fclose(in);
    return code;
  }

  // The run with in as standard input; the caller closes it.
  int run_on(std::FILE* in, const std::vector<std::string>& args, const Environment& env = {}) {
    char* out_buf = nullptr;
    std::size_t out_size = 0;
    char* err_buf = nullptr;
    std::size_t err_size = 0;
    std::FILE* out = open_memstream(&out_buf, &out_size);
    std::FILE* err = open_memstream(&err_buf, &err_size);
    sink.text.clear();
    int code = run_cppkv(args, env, in, out, err, &sink);
    std::fclose(out);
    std::fclose(err);
    stdout_text.assign(out_buf, out_size);
    stderr_text.assign(err_buf, err_size);
    std::free(out_buf);
    std::free(err_buf);
    return code;
  }

  CapturingSink sink;
  std::string stdout_text;
  std::string stderr_text;

 private:
  std::filesystem::path dir_;
  std::filesystem::path old_;
};

}  // namespace cppkv
