// Runs a piece of the pipeline in a forked child with a time limit, so that a crash or a hang
// on damaged input is an outcome to assert on rather than the end of the test program; and a
// sandbox that notices files written where they do not belong.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace bm::robust {

struct ChildResult {
  enum class Kind { kExited, kSignalled, kTimedOut };
  Kind kind = Kind::kExited;
  int code = 0;  // exit status or signal number
  bool Exited(int status) const { return kind == Kind::kExited && code == status; }
  std::string Describe() const;
};

// Forks; the child runs `body` (exceptions become status 99) and exits with its result
// without running the parent's exit handlers. A child still running after `seconds` is
// killed and reported as timed out.
ChildResult RunInChild(const std::function<int()>& body, unsigned seconds);

// A directory with the places a run may write to (temp, dest) and the places it must not
// (its current directory, TMPDIR, everything else under the root).
class Sandbox {
 public:
  Sandbox();
  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path temp() const { return root() / "temp"; }
  std::filesystem::path dest() const { return root() / "dest"; }
  std::filesystem::path input() const { return root() / "input"; }
  // In the child: work from the sandbox's current directory with its own TMPDIR.
  void EnterInChild() const;
  // Files under the root but outside temp, dest and input.
  std::vector<std::string> StrayFiles() const;

 private:
  test::TempDir dir_;
};

// Names under `directory` that are unsafe as file names: empty, "." or "..", longer than
// 255 bytes, or holding a control character or a backslash.
std::vector<std::string> UnsafeNames(const std::filesystem::path& directory);

// Every regular file under `directory`.
std::vector<std::filesystem::path> FilesUnder(const std::filesystem::path& directory);

}  // namespace bm::robust

namespace bm::robust {

struct PipelineOptions;
struct PipelineOutcome;

struct SandboxRun {
  ChildResult child;
  bool have_outcome = false;
  std::vector<std::string> stray_files;
};

// Runs the whole pipeline on `pst` in a child working inside `sandbox` (temp and destination
// taken from it); `outcome` is what the child reported when it got to the end.
SandboxRun RunPipelineInSandbox(const Sandbox& sandbox, const std::filesystem::path& pst,
                                PipelineOptions options, unsigned seconds,
                                PipelineOutcome& outcome);

}  // namespace bm::robust
