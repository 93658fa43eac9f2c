#include "engine/conversion_report.h"

namespace bm {

void ConversionReport::Clear() {
  std::lock_guard lock(mutex_);
  written_.clear();
  skipped_.clear();
  failures_.clear();
  destination_root_.clear();
}

void ConversionReport::SetDestinationRoot(std::u16string root) {
  std::lock_guard lock(mutex_);
  destination_root_ = std::move(root);
}

std::u16string ConversionReport::DestinationRoot() const {
  std::lock_guard lock(mutex_);
  return destination_root_;
}

void ConversionReport::Written(const std::u16string& kind) {
  std::lock_guard lock(mutex_);
  ++written_[kind];
}

void ConversionReport::Skipped(const std::u16string& message_class) {
  std::lock_guard lock(mutex_);
  ++skipped_[message_class];
}

void ConversionReport::Failed(std::u16string item, std::u16string reason, std::u16string folder,
                              int number) {
  std::lock_guard lock(mutex_);
  failures_.push_back({std::move(item), std::move(reason), std::move(folder), number});
}

std::map<std::u16string, int> ConversionReport::WrittenByKind() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::map<std::u16string, int> ConversionReport::SkippedByClass() const {
  std::lock_guard lock(mutex_);
  return skipped_;
}

std::vector<ConversionReport::Failure> ConversionReport::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

}  // namespace bm
