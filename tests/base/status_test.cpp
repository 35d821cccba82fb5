#include "base/status.h"

#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Callers and hosts see these numbers (exit codes, documented statuses).
static_assert(Status(StatusCode::kOk).code() == 0);
static_assert(Status(StatusCode::kFailed).code() == 1);
static_assert(Status(StatusCode::kUnusable).code() == 2);
static_assert(Status(StatusCode::kJpegFailed).code() == -1);

StatusOr<std::string> Named(int which) {
    if (which == 1) return StatusCode::kFailed;
    if (which == 2) return Status(2);
    if (which == 3) return Status::Ok();  // a caller's fault: no value, yet no failure
    return std::string("value");
}

TEST(StatusOrTest, CarriesTheValueOrTheFailure) {
    const StatusOr<std::string> value = Named(0);
    ASSERT_TRUE(value.ok());
    EXPECT_TRUE(value.status().ok());
    EXPECT_EQ(*value, "value");
    EXPECT_EQ(value->size(), 5u);

    EXPECT_FALSE(Named(1).ok());
    EXPECT_EQ(Named(1).status().code(), 1);
    EXPECT_EQ(Named(2).status(), Status(StatusCode::kUnusable));
}

// An ok status without a value must never pass for a value.
TEST(StatusOrTest, AnOkStatusWithoutValueIsAFailure) {
    const StatusOr<std::string> none = Named(3);
    EXPECT_FALSE(none.ok());
    EXPECT_EQ(none.status().code(), 1);
}

// Values that can only be moved, or not default-constructed, are carried too.
TEST(StatusOrTest, HoldsMoveOnlyValuesWithoutDefaultConstructor) {
    struct Handle {
        explicit Handle(int v) : value(std::make_unique<int>(v)) {}
        std::unique_ptr<int> value;
    };
    StatusOr<Handle> held = Handle(7);
    ASSERT_TRUE(held.ok());
    Handle taken = std::move(held).value();
    EXPECT_EQ(*taken.value, 7);

    const StatusOr<Handle> failed = StatusCode::kJpegFailed;
    EXPECT_EQ(failed.status().code(), -1);
}

TEST(StatusOrDeathTest, ReadingTheValueOfAFailureEndsTheProgram) {
    const StatusOr<int> failed = StatusCode::kFailed;
    EXPECT_DEATH((void)failed.value(), "");
}

Status FirstFailure(int& evaluations, Status status) {
    ++evaluations;
    QUILLON_RETURN_IF_ERROR((++evaluations, status));
    return Status(99);
}

TEST(StatusTest, ReturnIfErrorEvaluatesOnceAndPassesTheFailureOn) {
    int evaluations = 0;
    EXPECT_EQ(FirstFailure(evaluations, StatusCode::kUnusable).code(), 2);
    EXPECT_EQ(evaluations, 2);
    evaluations = 0;
    EXPECT_EQ(FirstFailure(evaluations, Status::Ok()).code(), 99);
    EXPECT_EQ(evaluations, 2);
}

}  // namespace
}  // namespace quillon
