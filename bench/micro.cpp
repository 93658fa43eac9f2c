// Micro-benchmarks of the helpers the conversion profiles show: property texts, the EML
// composer and importer, the MSG writer, the body converters and RTF compression.
//
// The items come from a small synthetic store that pstgen writes into a temporary directory
// on start, so the benchmarks need no fixture on disk.
#include <benchmark/benchmark.h>
#include <libpff.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "base/compressed_rtf.h"
#include "convert/component_runtime.h"
#include "convert/eml_compose.h"
#include "convert/eml_import.h"
#include "convert/html_text.h"
#include "convert/mapi_properties.h"
#include "convert/msg_writer.h"
#include "convert/rtf_text.h"
#include "engine/pff.h"
#include "tools/pstgen/presets.h"
#include "writers/value_format.h"

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
    libpff_file_t* raw = nullptr;
    bm::pff::Error error;
    if (libpff_file_initialize(&raw, error.out()) != 1) return;
    file_.reset(raw);
    if (libpff_file_open(file_.get(), path.c_str(), LIBPFF_OPEN_READ, error.out()) != 1) return;
    message_ = FirstMessage();
  }
  ~SampleStore() {
    message_.reset();
    file_.reset();
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  SampleStore(const SampleStore&) = delete;
  SampleStore& operator=(const SampleStore&) = delete;

  libpff_item_t* message() const { return message_.get(); }
  const fs::path& directory() const { return directory_; }

 private:
  // The first message of the first folder under "Top of Personal Folders" that has one.
  bm::pff::Item FirstMessage() {
    bm::pff::Error error;
    libpff_item_t* raw = nullptr;
    if (libpff_file_get_root_folder(file_.get(), &raw, error.out()) != 1) return nullptr;
    return FirstMessageBelow(bm::pff::Item(raw));
  }
  static bm::pff::Item FirstMessageBelow(bm::pff::Item folder) {
    bm::pff::Error error;
    int messages = 0;
    libpff_item_t* message = nullptr;
    if (libpff_folder_get_number_of_sub_messages(folder.get(), &messages, error.out()) == 1 &&
        messages > 0 &&
        libpff_folder_get_sub_message(folder.get(), 0, &message, error.out()) == 1) {
      return bm::pff::Item(message);
    }
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder.get(), &folders, error.out()) != 1) {
      return nullptr;
    }
    for (int f = 0; f < folders; ++f) {
      // libpff refuses an output slot that still holds an item.
      libpff_item_t* sub_folder = nullptr;
      if (libpff_folder_get_sub_folder(folder.get(), f, &sub_folder, error.out()) != 1) continue;
      if (bm::pff::Item found = FirstMessageBelow(bm::pff::Item(sub_folder))) return found;
    }
    return nullptr;
  }

  fs::path directory_;
  bm::pff::File file_;
  bm::pff::Item message_;
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

void BM_PropertyTextSubject(benchmark::State& state) {
  libpff_item_t* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  for (auto _ : state) {
    benchmark::DoNotOptimize(bm::PropertyText(message, 0, bm::prop::kSubject));
  }
}
BENCHMARK(BM_PropertyTextSubject);

void BM_PropertyTextCreationTime(benchmark::State& state) {
  libpff_item_t* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  for (auto _ : state) {
    benchmark::DoNotOptimize(bm::PropertyText(message, 0, bm::prop::kCreationTime));
  }
}
BENCHMARK(BM_PropertyTextCreationTime);

void BM_MessageFlagsText(benchmark::State& state) {
  libpff_item_t* message = Store().message();
  if (message == nullptr) return state.SkipWithError("no sample message");
  for (auto _ : state) benchmark::DoNotOptimize(bm::MessageFlagsText(message));
}
BENCHMARK(BM_MessageFlagsText);

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
