// The stand-in service's answers to every contract operation, over a data folder:
//   catalogue.xml       firmware (and bootloader) entries per firmware identity, with images
//   messages.xml        messages to users
//   packages.xml        software packages for the update check, with their files
//   feedback/           registered feedback <pk>.xml; replies/<pk>.xml dropped in by an operator
//   errorlogs/          registered error logs, one file each
// See README.md in this folder for the formats.
#pragma once

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/service/contract.h"
#include "common/service/soap_envelope.h"

namespace Quorvane::LocalService {

// A request the service refuses; answered as a SOAP fault.
class ServiceFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StandInService {
 public:
  StandInService(std::string dataFolder, std::string accessToken);

  // Throws ServiceFault for requests the service refuses (bad token, undecodable fields).
  Service::ServiceResult Answer(const Service::ServiceRequest& request);

 private:
  Service::ServiceResult EnumerateCatalogue(const char* kind, const std::string& identity, bool beta);
  Service::ServiceResult DownloadFirmware(const std::string& payload);
  Service::ServiceResult CheckForUpdate(const std::string& payload, bool beta);
  Service::ServiceResult MessagesToUsers(const std::string& token);
  Service::ServiceResult RegisterFeedback(const std::string& userFeedback);
  Service::ServiceResult FeedbackResponse(const std::string& userFeedback);
  Service::ServiceResult RegisterErrorLog(const std::string& entry);
  Service::ServiceResult ParallelFirmware(const std::string& identity, bool beta);
  struct EncodedFile {
    std::string stamp;  // size and modification time of the file it was made from
    std::string base64;
    std::size_t size = 0;
  };
  // A package file in Base64, encoded once per version of the file.
  EncodedFile Encoded(const std::string& path);

  std::string dataFolder_;
  std::string accessToken_;
  std::mutex mutex_;  // feedback numbering and error-log files
  std::mutex cacheMutex_;
  std::map<std::string, EncodedFile> encodedFiles_;
};

}  // namespace Quorvane::LocalService
