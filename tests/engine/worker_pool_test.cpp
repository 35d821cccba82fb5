#include "engine/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/correction_settings.h"
#include "engine/remap.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::NoisyImage;
using testing::TestImage;

struct BandRecord {
    std::int32_t first;
    std::int32_t end;
    std::thread::id thread;
    bool operator<(const BandRecord& o) const {
        return first < o.first || (first == o.first && end < o.end);
    }
};

class BandRecorder {
  public:
    Status operator()(std::int32_t first, std::int32_t end) const {
        std::lock_guard lock(mutex_);
        records_.push_back({first, end, std::this_thread::get_id()});
        return Status::Ok();
    }
    std::vector<BandRecord> Sorted() const {
        std::vector<BandRecord> r = records_;
        std::sort(r.begin(), r.end());
        return r;
    }

  private:
    mutable std::mutex mutex_;
    mutable std::vector<BandRecord> records_;
};

TEST(WorkerPoolTest, WorkerCountForProcessors) {
    EXPECT_EQ(WorkerCountFor(1), 0);
    EXPECT_EQ(WorkerCountFor(4), 3);
    EXPECT_EQ(WorkerCountFor(64), 63);
    EXPECT_EQ(WorkerCountFor(65), 0);  // a value above 64 counts as 1
    EXPECT_EQ(WorkerCountFor(0), 0);
    EXPECT_EQ(WorkerCountFor(-7), 0);
}

// Processors = 4 and 10 rows: three workers take two rows each, the caller
// takes the last band with the remainder.
TEST(WorkerPoolTest, BandsOfTheFanOut) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 4;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    EXPECT_EQ(pool.WorkerCount(), 3);
    BandRecorder recorder;
    ASSERT_TRUE(FanOutBands(pool, 10, recorder).ok());
    const std::vector<BandRecord> bands = recorder.Sorted();
    ASSERT_EQ(bands.size(), 4u);
    const std::int32_t expected[4][2] = {{0, 2}, {2, 4}, {4, 6}, {6, 10}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(bands[i].first, expected[i][0]);
        EXPECT_EQ(bands[i].end, expected[i][1]);
        EXPECT_EQ(bands[i].thread == std::this_thread::get_id(), i == 3) << i;
    }
    EXPECT_EQ(BandOf(10, 3, 3).firstRow, 6);
}

// Fewer rows than threads: every worker gets an empty band and the caller
// does all the rows.
TEST(WorkerPoolTest, FewerRowsThanThreads) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 4;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    BandRecorder recorder;
    ASSERT_TRUE(FanOutBands(pool, 2, recorder).ok());
    const std::vector<BandRecord> bands = recorder.Sorted();
    ASSERT_EQ(bands.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bands[i].first, bands[i].end);
    EXPECT_EQ(bands[3].first, 0);
    EXPECT_EQ(bands[3].end, 2);
    EXPECT_EQ(bands[3].thread, std::this_thread::get_id());
}

TEST(WorkerPoolTest, OneProcessorRunsEverythingOnTheCaller) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 1;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    EXPECT_EQ(pool.WorkerCount(), 0);
    BandRecorder recorder;
    ASSERT_TRUE(FanOutBands(pool, 7, recorder).ok());
    const std::vector<BandRecord> bands = recorder.Sorted();
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].end, 7);
    EXPECT_EQ(bands[0].thread, std::this_thread::get_id());
}

// One failing band fails the fan-out, after every band has run.
TEST(WorkerPoolTest, FailingBandFailsTheFanOut) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 4;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    for (const std::int32_t failing : {0, 4, 6}) {  // a worker's band, the caller's band
        std::atomic<int> ran{0};
        const auto band = [&](std::int32_t first, std::int32_t) {
            ++ran;
            return first == failing ? Status(2) : Status::Ok();
        };
        EXPECT_EQ(FanOutBands(pool, 8, band).code(), 2) << failing;
        EXPECT_EQ(ran.load(), 4);
    }
}

bool RefuseThirdThread(std::int32_t index) { return index != 2; }

TEST(WorkerPoolTest, ThreadCreationFailureResetsToOneProcessor) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 8;
    const Status status = CreateWorkerPool(pool, processors, sink, RefuseThirdThread);
    EXPECT_EQ(status.code(), 1);
    EXPECT_EQ(processors, 1);
    ASSERT_EQ(sink.Count(), 1u);
    EXPECT_EQ(sink.Last(),
              "Unable to create thread, resetting to one processor. Please restart Quillon.");
    EXPECT_EQ(pool.WorkerCount(), 0);
    BandRecorder recorder;
    ASSERT_TRUE(FanOutBands(pool, 5, recorder).ok());
    EXPECT_EQ(recorder.Sorted().size(), 1u);
}

// The events hand each worker exactly one band per fan-out, time after time,
// and a stopped pool can be started again.
TEST(WorkerPoolTest, ManyFanOutsAndRestart) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 3;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    std::vector<std::int32_t> rows(1000);
    for (int round = 0; round < 300; ++round) {
        const auto band = [&](std::int32_t first, std::int32_t end) {
            for (std::int32_t i = first; i < end; ++i) rows[static_cast<std::size_t>(i)] += 1;
            return Status::Ok();
        };
        ASSERT_TRUE(FanOutBands(pool, 1000, band).ok());
    }
    for (const std::int32_t v : rows) ASSERT_EQ(v, 300);
    StopWorkerPool(pool);
    EXPECT_EQ(pool.WorkerCount(), 0);
    StopWorkerPool(pool);
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    EXPECT_EQ(pool.WorkerCount(), 2);
}

// The split into bands must not show in the result: any number of threads
// gives the same bytes.
TEST(WorkerPoolTest, RemapIsIdenticalForAnyProcessorCount) {
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = NoisyImage(97, 61, bits, 17);
        RadialScaleParams radial;
        radial.terms = RadialTerms{1.02, 0.01, -0.05, 0.02, 2.0};
        radial.radius = 30.5;
        TransformStack stack;
        ASSERT_TRUE(stack.Add(RadialScale, &radial));
        std::vector<std::uint8_t> first;
        for (const std::int32_t processors : {1, 2, 4, 64}) {
            platform::CapturingSink sink;
            WorkerPool pool;
            std::int32_t p = processors;
            ASSERT_TRUE(CreateWorkerPool(pool, p, sink).ok());
            EngineContext context{pool, sink};
            TestImage destination(97, 61, bits);
            ASSERT_TRUE(
                RemapImage(source.buffer(), destination.buffer(), stack, ChannelPass::kAll, context)
                    .ok());
            if (first.empty()) {
                first = destination.bytes();
            } else {
                EXPECT_EQ(destination.bytes(), first) << processors << " processors, " << bits;
            }
        }
    }
}

}  // namespace
}  // namespace quillon::engine
