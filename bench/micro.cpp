// Micro-benchmarks of the helpers the conversion profiles show: property texts, the EML
// composer, the body converters and RTF compression.
//
// The items come from a small synthetic store that pstgen writes into a temporary directory
// on start, so the benchmarks need no fixture on disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/compressed_rtf.h"
#include "mapi/records.h"
#include "msg/component_runtime.h"
#include "msg/email_eml.h"
#include "msg/html_text.h"
#include "msg/rtf_text.h"
#include "pst/store.h"
#include "tools/pstgen/presets.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace {

namespace fs = std::filesystem;

// A body of `paragraphs` paragraphs of ordinary prose, CR LF separated.
std::string Prose(int paragraphs) {
  std::string text;
  for (int p = 0; p < paragraphs; ++p) {
    text +=
        "Could you review the attached document before Friday? The numbers are final once "
        "finance signs off, and the plan for the harbour site needs one more look. Thanks "
        "for the quick turnaround on the last round of comments.\r\n\r\n";
  }
  return text;
}

std::string HtmlOf(const std::string& text) {
  return "<html><head><meta charset=\"utf-8\"></head><body><p>" + text + "</p></body></html>";
}

std::string RtfOf(const std::string& text) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 ";
  for (const char c : text) {
    if (c == '\n')
      rtf += "\\par\r\n";
    else if (c != '\r')
      rtf += c;
  }
  return rtf + "}";
}

// The store and one open message of it, made once for all benchmarks.
class SampleStore {
 public:
  SampleStore() {
    directory_ = fs::temp_directory_path() / ("brindlemoor-micro-" + std::to_string(::getpid()));
    fs::create_directories(directory_);
    const fs::path path = directory_ / "sample.pst";
    pstgen::Write(pstgen::SyntheticStore(64, 1), path);
    bm::Result<pst::Store> opened = pst::Store::Open(path);
    if (!opened) return;
    store_.emplace(std::move(*opened));
    message_ = FirstMessageBelow(store_->root_folder(), 0);
  }
  ~SampleStore() {
    message_.reset();
    store_.reset();
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  SampleStore(const SampleStore&) = delete;
  SampleStore& operator=(const SampleStore&) = delete;

  const pst::Store* store() const { return store_ ? &*store_ : nullptr; }
  const pst::Message* message() const { return message_ ? &*message_ : nullptr; }
  const fs::path& directory() const { return directory_; }

 private:
  // The first message of the first folder below `folder` (depth first) that has one.
  std::optional<pst::Message> FirstMessageBelow(pst::Nid folder, int depth) const {
    if (const auto messages = store_->Messages(folder); !messages.empty()) {
      if (auto message = store_->OpenMessage(messages.front())) return std::move(*message);
    }
    if (depth > 16) return std::nullopt;
    for (const pst::Nid sub_folder : store_->SubFolders(folder)) {
      if (auto found = FirstMessageBelow(sub_folder, depth + 1)) return found;
    }
    return std::nullopt;
  }

  fs::path directory_;
  std::optional<pst::Store> store_;
  std::optional<pst::Message> message_;
};

SampleStore& Store() {
  static SampleStore store;
  return store;
}

void BM_EmailRecord(benchmark::State& state) {
  const pst::Message* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  for (auto _ : state) {
    benchmark::DoNotOptimize(bm::mapi::ReadEmailRecord(*Store().store(), *message));
  }
}
BENCHMARK(BM_EmailRecord);

void BM_CommonTexts(benchmark::State& state) {
  const pst::Message* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  const auto record = bm::mapi::ReadEmailRecord(*Store().store(), *message);
  if (!record) return state.SkipWithError("no sample record");
  for (auto _ : state) benchmark::DoNotOptimize(bm::ReadCommonTexts(*record));
}
BENCHMARK(BM_CommonTexts);

// The EML output of one stored e-mail: its record composed with its attachments.
void BM_ComposeEmailEml(benchmark::State& state) {
  if (bm::Failed(bm::StartMimeRuntime())) return state.SkipWithError("no MIME runtime");
  const pst::Message* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  const auto record = bm::mapi::ReadEmailRecord(*Store().store(), *message);
  if (!record) return state.SkipWithError("no sample record");
  for (auto _ : state) {
    const auto composed = bm::ComposeEmailEml(*Store().store(), *message, *record);
    if (!composed) return state.SkipWithError("composition failed");
    state.SetBytesProcessed(state.bytes_processed() +
                            static_cast<std::int64_t>(composed->bytes.size()));
  }
}
BENCHMARK(BM_ComposeEmailEml);

void BM_HtmlToText(benchmark::State& state) {
  const std::string html = HtmlOf(Prose(static_cast<int>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(bm::HtmlToText(html));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}
BENCHMARK(BM_HtmlToText)->Arg(4)->Arg(200);

void BM_RtfToText(benchmark::State& state) {
  const std::string rtf = RtfOf(Prose(static_cast<int>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(bm::RtfToText(rtf));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rtf.size()));
}
BENCHMARK(BM_RtfToText)->Arg(4)->Arg(200);

void BM_CompressRtf(benchmark::State& state) {
  const std::string rtf = RtfOf(Prose(static_cast<int>(state.range(0))));
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(rtf.data()),
                                            rtf.size());
  for (auto _ : state) benchmark::DoNotOptimize(bm::CompressRtf(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rtf.size()));
}
BENCHMARK(BM_CompressRtf)->Arg(4)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
