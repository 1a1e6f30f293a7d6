// What a firmware worker tells its dialog. The dialogs implement it (through queued calls to
// their own thread); tests record the calls.
#pragma once

#include <string>

namespace Quorvane::Firmware {

class FirmwareView {
 public:
  virtual ~FirmwareView() = default;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetCaption(const std::string& text) = 0;
  // The progress bar: a range with step 1, one step, or a position.
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void StepProgress() = 0;
  virtual void SetProgressPosition(int position) = 0;
  // More of the flashing tool's output.
  virtual void AppendOutput(const std::string& text) = 0;
  virtual void EnableOk() = 0;
  virtual void StopColourTimer() = 0;
  // The flash worked: the dialog closes as by its OK command.
  virtual void CloseWithOk() = 0;
};

}  // namespace Quorvane::Firmware
