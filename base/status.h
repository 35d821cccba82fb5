#pragma once

#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>

// Operations that can fail return a Status: 0 is success, any other value is the
// documented failure code of the operation (1 or 2 for most, -1 on the JPEG side).
// The message belongs to the place that detects the failure; callers only pass
// the status upward (QUILLON_RETURN_IF_ERROR), so each fault is reported once.
// Where a value comes back, a StatusOr<T> carries either the value or the
// failure.

namespace quillon {

// The codes callers see. Their numbers are part of the program's documented
// behaviour (exit codes, results handed to a host), so they never change.
enum class StatusCode : int {
    kOk = 0,
    // The operation failed; what it worked on is as it was, or still usable.
    kFailed = 1,
    // The operation failed and left what it worked on unusable (an image that
    // was released, a block that could not be had again).
    kUnusable = 2,
    // The JPEG side's failure.
    kJpegFailed = -1,
};

class [[nodiscard]] Status {
  public:
    constexpr Status() = default;
    // Implicit: `return StatusCode::kFailed;` reads as what it is.
    constexpr Status(StatusCode code) : code_(static_cast<int>(code)) {}
    constexpr explicit Status(int code) : code_(code) {}

    static constexpr Status Ok() { return Status(); }

    constexpr bool ok() const { return code_ == 0; }
    constexpr int code() const { return code_; }

    friend constexpr bool operator==(Status a, Status b) { return a.code_ == b.code_; }

  private:
    int code_ = 0;
};

// A value, or the status of the failure that left none. Built from a value it
// is ok; built from a status it is not (an ok status without a value would be
// a fault of the caller, and is kept as kFailed so it can never pass for a
// value). Reading the value of a failed StatusOr ends the program: it is a
// programming error, not something input can cause.
template <class T>
class [[nodiscard]] StatusOr {
    static_assert(!std::is_reference_v<T>, "StatusOr holds values");
    static_assert(!std::is_same_v<std::remove_cv_t<T>, Status>, "a Status is not a value");

  public:
    // Implicit, so that a function returns its value or its failure alike.
    StatusOr(const T& value) : value_(value) {}
    StatusOr(T&& value) : value_(std::move(value)) {}
    StatusOr(Status status) : status_(status.ok() ? Status(StatusCode::kFailed) : status) {}
    StatusOr(StatusCode code) : StatusOr(Status(code)) {}

    bool ok() const { return value_.has_value(); }
    Status status() const { return status_; }

    T& value() & { return Checked(value_); }
    const T& value() const& { return Checked(value_); }
    T&& value() && { return std::move(Checked(value_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

  private:
    template <class Optional>
    static auto& Checked(Optional& value) {
        if (!value.has_value()) std::abort();
        return *value;
    }

    Status status_;
    std::optional<T> value_;
};

}  // namespace quillon

// Evaluates `expr` once and returns its status from the enclosing function when
// it is not success.
#define QUILLON_RETURN_IF_ERROR(expr)                    \
    do {                                                 \
        const ::quillon::Status quillonStatus_ = (expr); \
        if (!quillonStatus_.ok()) return quillonStatus_; \
    } while (0)
