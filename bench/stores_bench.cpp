// Loading and saving a message store and a feedback store of 10,000 items each (target: under
// 100 ms per operation). The baseline, in the same run, is writing and reading the same number
// of bytes as one plain file.
#include <benchmark/benchmark.h>

#include "center/messages/local_stores.h"
#include "common/platform/atomic_file.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;

constexpr int kItems = 10000;

Service::CalendarTime Stamp(int index) {
  return Service::ParseTimeStamp("2026-" + std::string(index % 12 < 9 ? "0" : "") +
                                 std::to_string(index % 12 + 1) + "-15T10:20:30");
}

struct Stores {
  Testing::TempFolder folder;
  Center::MessageStore messages;
  Center::FeedbackStore feedback;

  Stores() {
    messages.path = folder.File(Center::kMessagesFileName);
    feedback.path = folder.File(Center::kFeedbackFileName);
    for (int index = 0; index < kItems; ++index) {
      Service::MessageItem message;
      message.pk = 1000000000000 + index;
      message.title = "Message number " + std::to_string(index);
      message.body = "Firmware notes for controller " + std::to_string(index) +
                     ".\r\nSecond line of the body.";
      message.created = Stamp(index);
      messages.items.push_back(message);
      Service::FeedbackItem item;
      item.pk = index + 1;
      item.title = "Feedback " + std::to_string(index);
      item.body =
          "The clutch bite point moves after an hour of racing, number " + std::to_string(index);
      item.created = Stamp(index);
      item.responded = Stamp(index + 1);
      item.responseBody = index % 2 ? "Thank you, fixed in 3.4." : "";
      feedback.items.push_back(item);
    }
  }
};

Stores& Shared() {
  static Stores stores;
  return stores;
}

// Saves that fail warn here; the benchmarks save to a scratch folder where none should.
Diagnostics::RecordingEventLog& SaveLog() {
  static Diagnostics::RecordingEventLog log;
  return log;
}

void BM_SaveMessageStore(benchmark::State& state) {
  for (auto _ : state) Center::SaveMessageStore(Shared().messages, SaveLog());
}

void BM_LoadMessageStore(benchmark::State& state) {
  Center::SaveMessageStore(Shared().messages, SaveLog());
  Diagnostics::RecordingEventLog log;
  for (auto _ : state) {
    Center::MessageStore loaded;
    loaded.path = Shared().messages.path;
    Center::LoadMessageStore(loaded, log);
    if (loaded.items.size() != kItems) state.SkipWithError("not all items loaded");
  }
}

void BM_SaveFeedbackStore(benchmark::State& state) {
  for (auto _ : state) Center::SaveFeedbackStore(Shared().feedback, SaveLog());
}

void BM_LoadFeedbackStore(benchmark::State& state) {
  Center::SaveFeedbackStore(Shared().feedback, SaveLog());
  Diagnostics::RecordingEventLog log;
  for (auto _ : state) {
    Center::FeedbackStore loaded;
    loaded.path = Shared().feedback.path;
    Center::LoadFeedbackStore(loaded, log);
    if (loaded.items.size() != kItems) state.SkipWithError("not all items loaded");
  }
}

// The same bytes as the feedback file, written whole and read back without any XML.
void BM_PlainFileOfTheSameSize(benchmark::State& state) {
  Center::SaveFeedbackStore(Shared().feedback, SaveLog());
  std::error_code error;
  const std::string content = *Platform::ReadWholeFile(Shared().feedback.path, error);
  const std::string path = Shared().folder.File("plain");
  for (auto _ : state) {
    Platform::WriteFileAtomically(path, content);
    benchmark::DoNotOptimize(Platform::ReadWholeFile(path, error));
  }
  state.counters["bytes"] = static_cast<double>(content.size());
}

BENCHMARK(BM_SaveMessageStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMessageStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFeedbackStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFeedbackStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFileOfTheSameSize)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
