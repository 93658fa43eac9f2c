#include "robustness/child.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "robustness/pipeline.h"

namespace bm::robust {

namespace fs = std::filesystem;

std::string ChildResult::Describe() const {
  switch (kind) {
    case Kind::kExited:
      return "exited with status " + std::to_string(code);
    case Kind::kSignalled:
      return "killed by signal " + std::to_string(code);
    case Kind::kTimedOut:
      return "still running after its time limit";
  }
  return "unknown";
}

ChildResult RunInChild(const std::function<int()>& body, unsigned seconds) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return {ChildResult::Kind::kSignalled, -1};
  if (pid == 0) {
    // The default action of SIGALRM ends the child: that is the time limit.
    ::signal(SIGALRM, SIG_DFL);
    ::alarm(seconds);
    int status = 99;
    try {
      status = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
    }
    std::fflush(nullptr);
    std::_Exit(status);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) return {ChildResult::Kind::kExited, WEXITSTATUS(status)};
  if (WTERMSIG(status) == SIGALRM) return {ChildResult::Kind::kTimedOut, SIGALRM};
  return {ChildResult::Kind::kSignalled, WTERMSIG(status)};
}

Sandbox::Sandbox() {
  for (const char* sub : {"temp", "dest", "input", "cwd", "systmp"}) {
    fs::create_directories(root() / sub);
  }
}

void Sandbox::EnterInChild() const {
  fs::current_path(root() / "cwd");
  ::setenv("TMPDIR", (root() / "systmp").c_str(), 1);
}

std::vector<std::string> Sandbox::StrayFiles() const {
  std::vector<std::string> stray;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root(), ec); it != fs::end(it);
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(root());
    const std::string top = relative.begin()->string();
    if (top == "temp" || top == "dest" || top == "input") {
      if (it.depth() == 0) it.disable_recursion_pending();
      continue;
    }
    if (!it->is_directory()) stray.push_back(relative.string());
  }
  return stray;
}

std::vector<std::string> UnsafeNames(const fs::path& directory) {
  std::vector<std::string> unsafe;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(directory, ec); it != fs::end(it);
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    bool bad = name.empty() || name == "." || name == ".." || name.size() > 255;
    for (const char c : name) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F || c == '\\') bad = true;
    }
    if (bad) unsafe.push_back(it->path().lexically_relative(directory).string());
  }
  return unsafe;
}

std::vector<fs::path> FilesUnder(const fs::path& directory) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(directory, ec); it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  return files;
}

}  // namespace bm::robust

namespace bm::robust {

SandboxRun RunPipelineInSandbox(const Sandbox& sandbox, const fs::path& pst,
                                PipelineOptions options, unsigned seconds,
                                PipelineOutcome& outcome) {
  options.temp_parent = sandbox.temp();
  options.destination = sandbox.dest();
  const fs::path result_file = sandbox.input() / "outcome.txt";
  fs::remove(result_file);
  SandboxRun run;
  run.child = RunInChild(
      [&] {
        sandbox.EnterInChild();
        SaveOutcome(RunPipeline(pst, options), result_file);
        return 0;
      },
      seconds);
  run.have_outcome = run.child.Exited(0) && LoadOutcome(result_file, outcome);
  run.stray_files = sandbox.StrayFiles();
  return run;
}

}  // namespace bm::robust
