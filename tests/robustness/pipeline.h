// Drives one store through everything a user can do with it: scan, select every folder, click
// every listed row, convert every folder. Used by the robustness tests, the corruption probe
// and the whole-pipeline fuzzer, so that all three exercise exactly the same calls.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bm::robust {

struct PipelineOutcome {
  bool scanned = false;
  int folders = 0;         // folder nodes after the scan
  int messages = 0;        // messages the folders say they hold
  int rows = 0;            // list rows over every folder
  int previews = 0;        // rows whose click showed a page
  bool converted = false;  // the conversion worker ran to its final message
  int written = 0;         // as the conversion report counts them
  int files_on_disk = 0;   // .msg and .txt files under the destination root
  int skipped = 0;
  std::vector<std::string> failures;  // "item: reason" as the conversion report has them
  std::string final_status;           // the status text the conversion ended with
  std::filesystem::path destination_root;
};

struct PipelineOptions {
  std::filesystem::path temp_parent;  // the run's private temp folder is made inside it
  std::filesystem::path destination;  // convertPSTFile<time> is made inside it
  bool preview = true;
  bool convert = true;
  // Called with "scan", "list N", "preview N/R", "convert" before each stage, so that a
  // process that dies mid-way leaves the stage it died in.
  std::function<void(std::string_view stage)> on_stage;
  // Sees every call the engine makes on the window, in the calling thread (tests use it to
  // change the destination's file system mid-run).
  std::function<void(std::string_view op, std::u16string_view text)> on_window_call;
};

PipelineOutcome RunPipeline(const std::filesystem::path& pst, const PipelineOptions& options);

// An outcome as lines of text and back, to carry it out of a child process.
void SaveOutcome(const PipelineOutcome& outcome, const std::filesystem::path& file);
bool LoadOutcome(const std::filesystem::path& file, PipelineOutcome& outcome);

}  // namespace bm::robust
