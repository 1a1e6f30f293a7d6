#include "center/device/live_data.h"

#include <algorithm>

namespace Quorvane::Device {
namespace {

bool Send(HidBackend& backend, const std::string& path, const OutputReport& report) {
  std::error_code error;
  const auto connection = backend.Open(path, error);
  return connection && connection->SendOutputReport(report);
}

std::optional<CalibrationCodes> CodesFor(const QuorvaneDevice& row) {
  if (row.IsButtonRow()) {
    return std::nullopt;
  }
  return CalibrationCodesFor(row.kind, row.channelIndex, row.ChannelSlotType());
}

}  // namespace

void ReadLiveReports(HidBackend& backend, QuorvaneDevice& row) {
  try {
    std::error_code error;
    const auto connection = backend.Open(row.devicePath, error);
    if (!connection) {
      return;
    }
    row.reportD.fill(0);
    row.reportC.fill(0);
    row.reportB.fill(0);
    row.reportA.fill(0);
    const std::pair<std::uint8_t, ReportBlock*> requests[] = {{kValueReportId, &row.reportA},
                                                              {kRawReportId, &row.reportB},
                                                              {kCalibrationReportId, &row.reportC},
                                                              {kReportDId, &row.reportD},
                                                              {kReportFId, &row.reportF}};
    InputReportBuffer buffer{};
    for (const auto& [reportId, block] : requests) {
      buffer.fill(0);
      buffer[0] = reportId;
      const bool answered = connection->GetInputReport(reportId, buffer);
      if (reportId == kValueReportId) {
        // The value report is asked first: a controller that does not answer it is asked
        // nothing more until the next pass (each unanswered request costs the kernel's time-out).
        row.answering = answered;
        if (!answered) return;
      }
      if (answered) {
        std::copy_n(buffer.begin() + 1, block->size(), block->begin());
      }
    }
  } catch (...) {
    // A device that fails mid-read keeps zeros; the poll loop goes on.
  }
}

bool SendCalibrationMinimum(HidBackend& backend, const QuorvaneDevice& row,
                            std::uint32_t parameter) {
  const auto codes = CodesFor(row);
  return codes &&
         Send(backend, row.devicePath, MakeCalibrationCommandReport(codes->setMinimum, parameter));
}

bool SendCalibrateMaximum(HidBackend& backend, const QuorvaneDevice& row) {
  const auto codes = CodesFor(row);
  return codes &&
         Send(backend, row.devicePath, MakeCalibrationCommandReport(codes->calibrateMaximum, 0));
}

bool SendResetToBootloader(HidBackend& backend, const QuorvaneDevice& row) {
  return Send(backend, row.devicePath, MakeResetReport());
}

}  // namespace Quorvane::Device

namespace Quorvane::Device {

bool IsLiveSourceRow(const std::vector<QuorvaneDevice>& rows, std::size_t index) {
  return !rows[index].IsButtonRow() &&
         (index == 0 || rows[index - 1].devicePath != rows[index].devicePath);
}

}  // namespace Quorvane::Device
