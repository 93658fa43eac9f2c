// Micro-benchmarks of the helpers the conversion profiles show: property texts, the EML
// composer and importer, the MSG writer, the body converters and RTF compression.
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
#include "msg/eml_compose.h"
#include "msg/eml_import.h"
#include "msg/html_text.h"
#include "msg/mapi_properties.h"
#include "msg/msg_writer.h"
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

// A composed message with a body of `paragraphs` paragraphs and one attachment of
// `attachment_bytes` bytes, as the e-mail writer hands it over.
bm::ComposeInput MailInput(int paragraphs, std::size_t attachment_bytes) {
  bm::ComposeInput input;
  input.body = HtmlOf(Prose(paragraphs));
  input.body_kind = bm::BodyKind::kHtml;
  input.sender = {"Marta Quill", "marta.quill@example.com"};
  input.to = {{"Ann Lee", "ann.lee@example.com"}, {"Bob Hart", "bob.hart@example.com"}};
  input.cc = {{"Team List", "team@example.com"}};
  input.date = bm::DateParts{2013, 1, 5, 14, 3, 22, 123456700};
  input.subject = "Quarterly report: harbour site";
  if (attachment_bytes > 0) {
    const fs::path attachment = Store().directory() / "report.pdf";
    std::string data(attachment_bytes, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
    if (std::FILE* file = std::fopen(attachment.c_str(), "wb")) {
      std::fwrite(data.data(), 1, data.size(), file);
      std::fclose(file);
    }
    input.attachments.push_back(attachment);
  }
  return input;
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

void BM_ComposeMessage(benchmark::State& state) {
  if (bm::Failed(bm::StartMimeRuntime())) return state.SkipWithError("no MIME runtime");
  const bm::ComposeInput input =
      MailInput(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
  for (auto _ : state) {
    bm::ComposeOutput output;
    benchmark::DoNotOptimize(bm::ComposeMessage(input, output));
    state.SetBytesProcessed(state.bytes_processed() +
                            static_cast<std::int64_t>(output.message.size()));
  }
}
BENCHMARK(BM_ComposeMessage)->Args({4, 0})->Args({30, 20'000})->Args({30, 1'000'000});

void BM_ImportEml(benchmark::State& state) {
  if (bm::Failed(bm::StartMimeRuntime())) return state.SkipWithError("no MIME runtime");
  bm::ComposeOutput composed;
  bm::ComposeMessage(
      MailInput(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1))),
      composed);
  for (auto _ : state) {
    bm::MessageContent content;
    benchmark::DoNotOptimize(bm::ImportEml(composed.message, content));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(composed.message.size()));
}
BENCHMARK(BM_ImportEml)->Args({4, 0})->Args({30, 20'000})->Args({30, 1'000'000});

void BM_SerialiseMsg(benchmark::State& state) {
  if (bm::Failed(bm::StartMimeRuntime())) return state.SkipWithError("no MIME runtime");
  bm::ComposeOutput composed;
  bm::ComposeMessage(
      MailInput(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1))),
      composed);
  bm::MessageContent content;
  if (bm::Failed(bm::ImportEml(composed.message, content))) {
    return state.SkipWithError("import failed");
  }
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bm::SerialiseMsg(content, out));
    state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(out.size()));
  }
}
BENCHMARK(BM_SerialiseMsg)->Args({4, 0})->Args({30, 20'000})->Args({30, 1'000'000});

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
