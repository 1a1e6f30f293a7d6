// A firmware dialog for tests: keeps every call in order.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "center/firmware/firmware_view.h"

namespace Quorvane::Testing {

class RecordingFirmwareView final : public Firmware::FirmwareView {
 public:
  void SetStatus(const std::string& text) override { Record("status: " + text); }
  void SetCaption(const std::string& text) override { Record("caption: " + text); }
  void SetProgressRange(int minimum, int maximum) override {
    Record("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
  }
  void StepProgress() override {
    std::lock_guard lock(mutex_);
    ++steps;
  }
  void SetProgressPosition(int position) override {
    Record("position " + std::to_string(position));
  }
  void AppendOutput(const std::string& text) override {
    std::lock_guard lock(mutex_);
    output += text;
  }
  void EnableOk() override { Record("ok enabled"); }
  void StopColourTimer() override { Record("timer stopped"); }
  void CloseWithOk() override { Record("closed with ok"); }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events;
  }
  // The status texts only.
  std::vector<std::string> Statuses() {
    std::vector<std::string> texts;
    for (const auto& event : Events()) {
      if (event.rfind("status: ", 0) == 0) texts.push_back(event.substr(8));
    }
    return texts;
  }
  std::string Output() {
    std::lock_guard lock(mutex_);
    return output;
  }
  int Steps() {
    std::lock_guard lock(mutex_);
    return steps;
  }

 private:
  void Record(const std::string& event) {
    std::lock_guard lock(mutex_);
    events.push_back(event);
  }
  std::mutex mutex_;
  std::vector<std::string> events;
  std::string output;
  int steps = 0;
};

}  // namespace Quorvane::Testing
