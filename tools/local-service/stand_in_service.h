// The stand-in service's answers to every contract operation, over a data folder:
//   catalogue.xml       firmware (and bootloader) entries per firmware identity, with images
//   messages.xml        messages to users
//   packages.xml        software packages for the update check, with their files
//   feedback/           registered feedback <pk>.xml; replies/<pk>.xml dropped in by an operator
//   errorlogs/          registered error logs, one file each
// Update files and firmware images are offered with their signatures ("<name>.minisig"; for a
// firmware, DownloadFirmware asked for the entry's file name with that suffix): made with the
// signing key when the service has one, with a trusted comment naming the file and its version,
// else the signature files lying beside them in the data folder.
// See README.md in this folder for the formats.
#pragma once

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/service_client/contract.h"
#include "tools/local-service/soap_server_envelope.h"

namespace Quorvane::LocalService {

// A request the service refuses; answered as a SOAP fault.
class ServiceFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How the update files and firmware images of an answer are signed, to stand for a faulty or
// hostile service.
enum class Signatures {
  Sent,
  LeftOut,     // the files come without their signatures
  Mismatched,  // each file comes changed after it was signed
};

class StandInService {
 public:
  // `signingKey`: a minisign secret key without a password; empty: signature files are taken
  // from beside the package files.
  StandInService(std::string dataFolder, std::string accessToken, std::string signingKey = {});

  // Throws ServiceFault for requests the service refuses (bad token, undecodable fields).
  Service::ServiceResult Answer(const Service::ServiceRequest& request,
                                Signatures signatures = Signatures::Sent);

 private:
  Service::ServiceResult EnumerateCatalogue(const char* kind, const std::string& identity,
                                            bool beta);
  Service::ServiceResult DownloadFirmware(const std::string& payload, Signatures signatures);
  Service::ServiceResult CheckForUpdate(const std::string& payload, bool beta,
                                        Signatures signatures);
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
  // The signature text of a file, signed (with the key) as `claim` ("file:NAME version:A.B.C.D")
  // once per version of the file.
  std::string SignatureOf(const std::string& path, const std::string& claim);

  std::string dataFolder_;
  std::string accessToken_;
  std::string signingKey_;
  std::mutex mutex_;  // feedback numbering and error-log files
  std::mutex cacheMutex_;
  std::map<std::string, EncodedFile> encodedFiles_;
  std::map<std::string, std::pair<std::string, std::string>>
      signatures_;  // path and claim: stamp, text
};

}  // namespace Quorvane::LocalService
