#include "center/service_calls/center_service.h"

#include "common/service_client/access_token.h"
#include "common/service_client/contract.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/payload_documents.h"

namespace Quorvane::Center {
namespace {

using Service::Operation;

std::optional<Service::ServiceResult> Call(const CenterService& service, Operation operation,
                                           std::vector<Service::ServiceValue> inputs) {
  Service::ServiceResult result;
  Service::CallFailure failure;
  if (!Service::ServiceCall(service.endpoint, service.settings, operation, inputs, result,
                            &failure)) {
    // Counts as no answer, as ever; but an untrusted server says why, or nobody could tell.
    if (failure.certificate && service.eventLog != nullptr) {
      Diagnostics::WriteEventLogEntry(
          *service.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventWarning,
          "The service at '" + service.endpoint +
              "' was not used: its certificate failed verification (" + failure.reason + ")");
    }
    return std::nullopt;
  }
  return result;
}

// A text result decoded as the center's fields are; nothing for an empty answer.
std::optional<std::string> DecodedText(const std::optional<Service::ServiceResult>& result) {
  if (!result || result->text.empty()) {
    return std::nullopt;
  }
  return Service::DecodeServiceText(result->text);
}

std::string FeedbackRequest(const Service::FeedbackItem& item, const std::string& userId) {
  return Service::EncodeServiceText(Service::BuildFeedbackRequest(item, userId));
}

}  // namespace

CenterService CenterService::FromEnvironment(const Platform::EnvironmentLookup& environment,
                                             Diagnostics::EventLog* eventLog) {
  CenterService service;
  service.eventLog = eventLog;
  const auto endpoint = environment(kServiceEndpointVariable);
  service.endpoint =
      endpoint && !endpoint->empty() ? *endpoint : std::string(Service::kDefaultEndpoint);
  return service;
}

std::optional<std::string> RetrieveMessagesToUsers(const CenterService& service) {
  // The token only ever travels encoded.
  return DecodedText(Call(service, Operation::GetQuorvaneMessageToUsers,
                          {Service::EncodeServiceText(Service::kAccessToken)}));
}

bool RegisterFeedback(const CenterService& service, Service::FeedbackItem& item,
                      const std::string& userId) {
  const auto result =
      Call(service, Operation::RegisterUserFeedback, {FeedbackRequest(item, userId)});
  if (!result) {
    return false;
  }
  item.pk = result->number;
  return true;
}

std::optional<std::string> RetrieveFeedbackResponse(const CenterService& service,
                                                    const Service::FeedbackItem& item,
                                                    const std::string& userId) {
  return DecodedText(
      Call(service, Operation::GetUserFeedbackResponse, {FeedbackRequest(item, userId)}));
}

std::optional<std::string> DownloadFirmwareImage(const CenterService& service,
                                                 const Service::FirmwareEntry& entry) {
  const auto result =
      Call(service, Operation::DownloadFirmware, {Service::BuildFirmwareDownloadRequest(entry)});
  if (!result || result->text.empty()) {
    return std::nullopt;
  }
  return Service::DecodeServiceBytes(result->text);
}

bool RegisterErrorLog(const CenterService& service, const Service::ErrorLogRecord& record) {
  return Call(service, Operation::RegisterErrorLogEntry,
              {Service::EncodeServiceText(Service::BuildErrorLogDocument(record))})
      .has_value();
}

std::optional<std::string> EnumerateFirmwares(const CenterService& service,
                                              const std::string& identity, bool beta,
                                              bool* answered) {
  const auto result = Call(service, Operation::EnumerateFirmwares, {identity, beta});
  if (answered != nullptr) {
    *answered = result.has_value();
  }
  return DecodedText(result);
}

}  // namespace Quorvane::Center
