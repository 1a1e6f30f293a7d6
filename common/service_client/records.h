// The records the service documents carry: firmware entries, error logs, messages, feedback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/service_client/time_stamp.h"

namespace Quorvane::Service {

struct FirmwareEntry {
  std::string id;
  std::string name;
  std::string friendlyName;
  std::string fileName;
  std::string extraFileInformation;
  std::string displayName;  // friendlyName + " " + extraFileInformation; never sent
  std::uint32_t versionMajor = 0;
  std::uint32_t versionMinor = 0;
  std::uint32_t versionBuild = 0;
  std::uint32_t versionRevision = 0;

  bool operator==(const FirmwareEntry&) const = default;
};

struct ErrorLogTextItem {
  std::string name;
  std::string text;
};

struct ErrorLogDataItem {
  std::string name;
  std::string data;  // bytes
};

struct ErrorLogRecord {
  std::string token;
  std::string logName;
  std::string createdTimeStamp;  // already formatted by the caller
  std::vector<ErrorLogTextItem> textItems;
  std::vector<ErrorLogDataItem> dataItems;
};

struct MessageItem {
  std::int64_t pk = 0;
  std::string title;
  std::string body;
  CalendarTime created = ZeroCalendarTime();
};

struct FeedbackItem {
  std::int64_t pk = 0;
  std::string title;
  std::string body;
  CalendarTime created = ZeroCalendarTime();
  CalendarTime responded = ZeroCalendarTime();
  std::string responseBody;
};

}  // namespace Quorvane::Service
