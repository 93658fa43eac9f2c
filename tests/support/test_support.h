// Helpers shared by the test suites.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace bm::test {

// The path of a public sample store, or an empty path when the sample folder is missing.
std::filesystem::path SamplePst(std::string_view name);

// A fresh directory under the system temp directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int exit_code = -1;
  std::string output;  // standard output (standard error too when the command redirects it)
};

// Runs a shell command and collects its standard output.
CommandResult Run(const std::string& command);

// Whether a program is on PATH.
bool HaveProgram(std::string_view name);

// Reads a whole file as bytes (empty when missing).
std::string ReadFile(const std::filesystem::path& path);

// Shell-quotes one argument.
std::string Quote(std::string_view text);

}  // namespace bm::test

// Declares `var` as the path of sample store `name`, or skips the test saying why.
#define BM_SAMPLE_OR_SKIP(var, name)                                                     \
  const std::filesystem::path var = ::bm::test::SamplePst(name);                         \
  if (var.empty()) {                                                                     \
    GTEST_SKIP() << "sample store " << (name) << " not found (../shared/pst is absent)"; \
  }
