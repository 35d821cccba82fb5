#pragma once

// Operations that can fail return a Status: 0 is success, any other value is the
// documented failure code of the operation (1 or 2 for most, -1 on the JPEG side).
// The message belongs to the place that detects the failure; callers only pass
// the status upward (QUILLON_RETURN_IF_ERROR), so each fault is reported once.

namespace quillon {

class [[nodiscard]] Status {
public:
    constexpr Status() = default;
    constexpr explicit Status(int code) : code_(code) {}

    static constexpr Status Ok() { return Status(); }

    constexpr bool ok() const { return code_ == 0; }
    constexpr int code() const { return code_; }

    friend constexpr bool operator==(Status a, Status b) { return a.code_ == b.code_; }

private:
    int code_ = 0;
};

}  // namespace quillon

// Evaluates `expr` once and returns its status from the enclosing function when
// it is not success.
#define QUILLON_RETURN_IF_ERROR(expr)               \
    do {                                            \
        const ::quillon::Status quillonStatus_ = (expr); \
        if (!quillonStatus_.ok()) return quillonStatus_; \
    } while (0)
