// Result: a value, or the error that says why there is none. The one way the core reports a
// failure: the cause travels with it to the conversion report and the log.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace bm {

// Why an operation failed, as a sentence for the report and the log
// ("node 0x200024: heap page 3 lies outside the node's data").
class Error {
 public:
  // `system_error`: the errno value behind a failed system call, 0 for other failures; callers
  // that must tell causes apart (a name already taken, a full disk) read it instead of errno,
  // which any later call may change.
  explicit Error(std::string message, int system_error = 0)
      : message_(std::move(message)), system_error_(system_error) {}

  const std::string& message() const { return message_; }
  int system_error() const { return system_error_; }

  // The same error seen from a wider context: "context: message".
  Error Within(std::string_view context) const {
    std::string text(context);
    text += ": ";
    text += message_;
    return Error(std::move(text), system_error_);
  }

  friend bool operator==(const Error&, const Error&) = default;

 private:
  std::string message_;
  int system_error_ = 0;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only when ok().
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // Only when !ok().
  const Error& error() const { return std::get<1>(state_); }

  template <class U>
  T value_or(U&& fallback) const& {
    return ok() ? value() : static_cast<T>(std::forward<U>(fallback));
  }

 private:
  std::variant<T, Error> state_;
};

// A Result with no value: success, or the error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }

 private:
  Error error_{std::string()};
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace bm
