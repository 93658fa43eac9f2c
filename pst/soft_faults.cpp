#include "pst/soft_faults.h"

#include <algorithm>

namespace pst {

namespace {

// The reads of one item run on one thread, far below the code that converts the item: the
// innermost scope of each thread is where its faults go.
thread_local SoftFaultScope* current_scope = nullptr;

}  // namespace

SoftFaultScope::SoftFaultScope() : outer_(current_scope) {
  current_scope = this;
}

SoftFaultScope::~SoftFaultScope() {
  current_scope = outer_;
}

void SoftFaultScope::Note(const std::string& fault) {
  SoftFaultScope* scope = current_scope;
  if (scope == nullptr || scope->faults_.size() >= kMaxFaults) return;
  if (std::find(scope->faults_.begin(), scope->faults_.end(), fault) != scope->faults_.end()) {
    return;
  }
  scope->faults_.push_back(fault);
}

}  // namespace pst
