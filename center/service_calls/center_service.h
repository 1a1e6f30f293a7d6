// The center's calls of the service: messages, feedback, firmware images and error logs. Each
// is one ServiceCall at the center's endpoint with a 1 MiB heap and 300 s time-outs; false means
// no answer came, and the caller decides what the user sees. An answer that is not valid Base64
// raises HvxException "CryptStringToBinary failed".
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "common/diagnostics/event_log.h"
#include "common/platform/known_folders.h"
#include "common/service_client/records.h"
#include "common/service_client/service_call.h"

namespace Quorvane::Center {

inline constexpr const char* kServiceEndpointVariable = "QUORVANE_SERVICE_ENDPOINT";

struct CenterService {
  std::string endpoint;
  Service::CallSettings settings{1048576, std::chrono::milliseconds(300000)};
  // Where a server whose certificate fails verification is reported (as a warning); none: nowhere.
  Diagnostics::EventLog* eventLog = nullptr;

  // The compiled default endpoint, or QUORVANE_SERVICE_ENDPOINT when it is set.
  static CenterService FromEnvironment(const Platform::EnvironmentLookup& environment,
                                       Diagnostics::EventLog* eventLog = nullptr);
};

// The message list document; empty optional when no (or an empty) answer came.
std::optional<std::string> RetrieveMessagesToUsers(const CenterService& service);

// Registers the feedback; on an answer the item's pk becomes the service's number.
bool RegisterFeedback(const CenterService& service, Service::FeedbackItem& item,
                      const std::string& userId);

// The feedback response document for the item; empty optional when none came.
std::optional<std::string> RetrieveFeedbackResponse(const CenterService& service,
                                                    const Service::FeedbackItem& item,
                                                    const std::string& userId);

// The firmware image bytes; empty optional when none came.
std::optional<std::string> DownloadFirmwareImage(const CenterService& service,
                                                 const Service::FirmwareEntry& entry);

bool RegisterErrorLog(const CenterService& service, const Service::ErrorLogRecord& record);

// The firmware identity that asks for the firmwares of every controller kind (the gallery a
// crash recovery picks from).
inline constexpr const char* kAllFirmwaresIdentity = "all-firmwares";

// The firmware list document for a firmware identity; empty optional when none came. `answered`,
// when given, tells an empty answer from none.
std::optional<std::string> EnumerateFirmwares(const CenterService& service,
                                              const std::string& identity, bool beta,
                                              bool* answered = nullptr);

}  // namespace Quorvane::Center
