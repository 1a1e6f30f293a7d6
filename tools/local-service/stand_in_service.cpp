#include "tools/local-service/stand_in_service.h"

#include <sys/stat.h>

#include <filesystem>
#include <pugixml.hpp>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/path_text.h"
#include "common/platform/process.h"
#include "common/service_client/base64.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/payload_documents.h"
#include "common/service_client/scramble.h"
#include "common/service_client/xml_document.h"
#include "common/signing/signed_claim.h"

namespace Quorvane::LocalService {
namespace {

using Service::ServiceResult;

std::string ReadFileOrEmpty(const std::string& path) {
  std::error_code error;
  return Platform::ReadWholeFile(path, error).value_or(std::string());
}

bool LoadFile(pugi::xml_document& document, const std::string& path) {
  return static_cast<bool>(document.load_file(path.c_str()));
}

void WriteFile(const std::string& path, const std::string& content) {
  Platform::EnsureFolderPath(path);
  if (auto error = Platform::WriteFileAtomically(path, content)) {
    throw ServiceFault("cannot store " + path + ": " + error.message());
  }
}

bool IsBeta(const pugi::xml_node& node) { return node.attribute("beta").as_bool(false); }

// A service field encoded by the center: decode it or refuse the request.
std::string DecodeField(const std::string& text, const char* field) {
  try {
    return Service::DecodeServiceText(text);
  } catch (const Halvex::Exceptions::HvxException&) {
    throw ServiceFault(std::string("cannot decode ") + field);
  }
}

// Only plain file names may name files inside the data folder.
bool IsPlainRelativePath(const std::string& path) {
  return !path.empty() && path.front() != '/' && path.find("..") == std::string::npos;
}

struct FileStamp {
  bool exists;
  std::string text;
};

FileStamp StampOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return {false, {}};
  }
  return {true, std::to_string(status.st_size) + ":" + std::to_string(status.st_mtim.tv_sec) + "." +
                    std::to_string(status.st_mtim.tv_nsec)};
}

}  // namespace

StandInService::StandInService(std::string dataFolder, std::string accessToken,
                               std::string signingKey)
    : dataFolder_(std::move(dataFolder)),
      accessToken_(std::move(accessToken)),
      signingKey_(std::move(signingKey)) {
  if (!dataFolder_.empty() && dataFolder_.back() != '/') {
    dataFolder_ += '/';
  }
}

ServiceResult StandInService::Answer(const Service::ServiceRequest& request,
                                     Signatures signatures) {
  using Service::Operation;
  const auto text = [&](std::size_t index) -> const std::string& {
    return std::get<std::string>(request.inputs.at(index));
  };
  const auto flag = [&](std::size_t index) { return std::get<bool>(request.inputs.at(index)); };
  switch (request.operation) {
    case Operation::CheckForUpdate:
      return CheckForUpdate(text(0), false, signatures);
    case Operation::CheckForUpdateEx:
      return CheckForUpdate(text(0), flag(1), signatures);
    case Operation::DownloadFirmware:
      return DownloadFirmware(text(0), signatures);
    case Operation::EnumerateFirmwares:
      return EnumerateCatalogue("firmware", text(0), flag(1));
    case Operation::EnumerateBootloaders:
      return EnumerateCatalogue("bootloader", text(0), flag(1));
    case Operation::Execute: {
      // A diagnostic round trip: the items come back as sent.
      ServiceResult result;
      result.strings = std::get<std::vector<std::string>>(request.inputs.at(0));
      return result;
    }
    case Operation::ExecuteCRM: {
      ServiceResult result;
      result.text = text(0);
      return result;
    }
    case Operation::RegisterErrorLogEntry:
      return RegisterErrorLog(text(0));
    case Operation::RegisterUserFeedback:
      return RegisterFeedback(text(0));
    case Operation::GetUserFeedbackResponse:
      return FeedbackResponse(text(0));
    case Operation::GetQuorvaneMessageToUsers:
      return MessagesToUsers(text(0));
    case Operation::GetParallelFirmware:
      return ParallelFirmware(text(0), false);
    case Operation::GetParallelFirmwareEx:
      return ParallelFirmware(text(0), flag(1));
  }
  throw ServiceFault("unknown operation");
}

ServiceResult StandInService::EnumerateCatalogue(const char* kind, const std::string& identity,
                                                 bool beta) {
  pugi::xml_document catalogue;
  LoadFile(catalogue, dataFolder_ + "catalogue.xml");
  pugi::xml_document list;
  auto root = list.append_child((std::string(kind) + "s").c_str());
  for (auto entry : catalogue.document_element().children(kind)) {
    const bool fits =
        identity == "all-firmwares" || identity == entry.attribute("identity").value();
    if (!fits || (IsBeta(entry) && !beta)) {
      continue;
    }
    auto copy = root.append_copy(entry);
    for (const char* internal : {"identity", "beta", "image"}) {
      copy.remove_attribute(internal);
    }
  }
  ServiceResult result;
  if (root.first_child()) {
    result.text = Service::EncodeServiceText(Service::SerializeXml(list));
  }
  return result;
}

ServiceResult StandInService::DownloadFirmware(const std::string& payload, Signatures signatures) {
  pugi::xml_document request;
  if (!Service::LoadXmlText(request, payload)) {
    throw ServiceFault("the firmware request does not load");
  }
  const std::string id = request.document_element().attribute("id").value();
  const std::string askedName = request.document_element().attribute("fileName").value();
  pugi::xml_document catalogue;
  LoadFile(catalogue, dataFolder_ + "catalogue.xml");
  ServiceResult result;
  for (auto entry : catalogue.document_element().children("firmware")) {
    const std::string image = entry.attribute("image").value();
    if (id != entry.attribute("id").value() || !IsPlainRelativePath(image)) {
      continue;
    }
    const std::string fileName = entry.attribute("fileName").value();
    std::string bytes;
    if (askedName == fileName + ".minisig") {
      // The image's signature, asked for by its file name with the signature's suffix.
      if (signatures != Signatures::LeftOut && StampOf(dataFolder_ + image).exists) {
        const Signing::SignedClaim claim{
            fileName,
            {entry.attribute("versionMajor").as_uint(), entry.attribute("versionMinor").as_uint(),
             entry.attribute("versionBuild").as_uint(),
             entry.attribute("versionRevision").as_uint()}};
        bytes = SignatureOf(dataFolder_ + image, Signing::SignedClaimText(claim));
      }
    } else {
      bytes = ReadFileOrEmpty(dataFolder_ + image);
      if (signatures == Signatures::Mismatched && !bytes.empty()) {
        bytes[0] = static_cast<char>(bytes[0] ^ 0x01);  // changed after it was signed
      }
    }
    if (!bytes.empty()) {
      result.text = Service::Base64Encode(Service::ScrambleBytes(bytes));
    }
    break;
  }
  return result;
}

ServiceResult StandInService::CheckForUpdate(const std::string& payload, bool beta,
                                             Signatures signatures) {
  pugi::xml_document request;
  if (!Service::LoadXmlText(request, payload)) {
    throw ServiceFault("the update request does not load");
  }
  const auto asked = request.document_element();
  const std::string softwareId = asked.attribute("softwareID").value();
  const auto askedVersion = asked.child("version");
  const auto versionOf = [](const pugi::xml_node& node) {
    return Signing::Version{node.attribute("major").as_uint(), node.attribute("minor").as_uint(),
                            node.attribute("build").as_uint(),
                            node.attribute("revision").as_uint()};
  };
  const auto installed = versionOf(askedVersion);

  // The newest package of that id the caller may have (beta ones only when asked for).
  pugi::xml_document packages;
  LoadFile(packages, dataFolder_ + "packages.xml");
  pugi::xml_node best;
  for (auto package : packages.document_element().children("package")) {
    if (softwareId == package.attribute("softwareID").value() && (!IsBeta(package) || beta) &&
        (!best || versionOf(package) > versionOf(best))) {
      best = package;
    }
  }
  const bool newer = best && versionOf(best) > installed;

  pugi::xml_document response;
  auto root = response.append_child("checkForUpdateResponse");
  root.append_attribute("softwareUpdateType")
      .set_value(asked.attribute("softwareUpdateType").value());
  root.append_attribute("responseType").set_value(newer ? 1 : 0);
  root.append_attribute("softwareID").set_value(softwareId.c_str());
  auto version = root.append_child("version");
  const auto shown = newer ? versionOf(best) : installed;
  const char* parts[] = {"major", "minor", "build", "revision"};
  for (std::size_t part = 0; part < 4; ++part) {
    version.append_attribute(parts[part]).set_value(shown[part]);
  }
  ServiceResult result;
  result.strings.push_back(Service::SerializeXml(response));
  if (!newer) {
    return result;
  }
  const auto append = [&](const std::string& name, std::size_t size, const pugi::xml_node& file,
                          std::string content) {
    pugi::xml_document descriptor;
    auto element = descriptor.append_child("file");
    element.append_attribute("fileName").set_value(name.c_str());
    element.append_attribute("size").set_value(static_cast<unsigned long long>(size));
    element.append_attribute("mimeType")
        .set_value(file ? file.attribute("mimeType").value() : "text/plain");
    element.append_attribute("installCommand")
        .set_value(file ? file.attribute("installCommand").value() : "");
    result.strings.push_back(Service::SerializeXml(descriptor));
    result.strings.push_back(std::move(content));
  };
  for (auto file : best.children("file")) {
    const std::string path = file.attribute("path").value();
    if (!IsPlainRelativePath(path)) {
      throw ServiceFault("package file path leaves the data folder");
    }
    const std::string fullPath = dataFolder_ + path;
    EncodedFile content = Encoded(fullPath);
    if (signatures == Signatures::Mismatched && !content.base64.empty()) {
      // Another first character of valid Base64: the bytes differ from the ones signed.
      content.base64[0] = content.base64[0] == 'A' ? 'B' : 'A';
    }
    // A package may claim another size than its file has, to stand for a faulty service.
    const std::string name = file.attribute("name").value();
    append(name, file.attribute("size") ? file.attribute("size").as_ullong() : content.size, file,
           std::move(content.base64));
    if (const std::string signature =
            signatures == Signatures::LeftOut
                ? std::string()
                : SignatureOf(fullPath, Signing::SignedClaimText({name, versionOf(best)}));
        !signature.empty()) {
      append(name + ".minisig", signature.size(), pugi::xml_node(),
             Service::Base64Encode(signature));
    }
  }
  return result;
}

std::string StandInService::SignatureOf(const std::string& path, const std::string& claim) {
  if (signingKey_.empty()) {
    return ReadFileOrEmpty(path + ".minisig");
  }
  const FileStamp stamp = StampOf(path);
  const std::string cacheKey = path + "\n" + claim;
  {
    std::lock_guard lock(cacheMutex_);
    if (auto cached = signatures_.find(cacheKey);
        cached != signatures_.end() && cached->second.first == stamp.text) {
      return cached->second.second;
    }
  }
  // Signed by the publisher's own tool, as a maker publishes its updates.
  char folder[] = "/tmp/quorvane-signing-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    throw ServiceFault("cannot sign " + path);
  }
  const std::string signaturePath = std::string(folder) + "/file.minisig";
  std::error_code error;
  auto minisign = Platform::Process::Start(
      {"minisign",
       {"-S", "-s", signingKey_, "-x", signaturePath, "-t", claim, "-m", path},
       "",
       std::string(folder) + "/log"},
      error);
  const bool signedOk = minisign && minisign->Wait() == 0;
  std::string text = signedOk ? ReadFileOrEmpty(signaturePath) : std::string();
  std::filesystem::remove_all(folder, error);
  if (text.empty()) {
    throw ServiceFault("cannot sign " + path + " with " + signingKey_);
  }
  std::lock_guard lock(cacheMutex_);
  signatures_[cacheKey] = {stamp.text, text};
  return text;
}

StandInService::EncodedFile StandInService::Encoded(const std::string& path) {
  const FileStamp stamp = StampOf(path);
  if (!stamp.exists) {
    throw ServiceFault("package file missing: " + path);
  }
  {
    std::lock_guard lock(cacheMutex_);
    auto cached = encodedFiles_.find(path);
    if (cached != encodedFiles_.end() && cached->second.stamp == stamp.text) {
      return cached->second;
    }
  }
  const std::string bytes = ReadFileOrEmpty(path);
  EncodedFile encoded{stamp.text, Service::Base64Encode(bytes), bytes.size()};
  std::lock_guard lock(cacheMutex_);
  encodedFiles_[path] = encoded;
  return encoded;
}

ServiceResult StandInService::MessagesToUsers(const std::string& token) {
  if (DecodeField(token, "token") != accessToken_) {
    throw ServiceFault("access denied");
  }
  pugi::xml_document messages;
  LoadFile(messages, dataFolder_ + "messages.xml");
  pugi::xml_document list;
  auto items = list.append_child("items");
  for (auto message : messages.document_element().children("message")) {
    auto item = items.append_child("item");
    item.append_child("pk").text().set(message.attribute("pk").value());
    item.append_child("responseBody")
        .text()
        .set(Service::Base64EncodeText(message.text().get()).c_str());
    item.append_child("title").text().set(message.attribute("title").value());
    item.append_child("createdTimeStamp").text().set(message.attribute("createdTimeStamp").value());
  }
  ServiceResult result;
  result.text = Service::EncodeServiceText(Service::SerializeXml(list));
  return result;
}

ServiceResult StandInService::RegisterFeedback(const std::string& userFeedback) {
  const std::string document = DecodeField(userFeedback, "userFeedback");
  pugi::xml_document feedback;
  if (!Service::LoadXmlText(feedback, document)) {
    throw ServiceFault("the feedback does not load");
  }
  std::lock_guard lock(mutex_);
  const std::string counterPath = dataFolder_ + "feedback/next-pk";
  std::int64_t pk = Service::ReadSigned64(ReadFileOrEmpty(counterPath));
  pk = pk > 0 ? pk : 1;
  feedback.document_element().child("item").child("pk").text().set(std::to_string(pk).c_str());
  WriteFile(dataFolder_ + "feedback/" + std::to_string(pk) + ".xml",
            Service::SerializeXml(feedback));
  WriteFile(counterPath, std::to_string(pk + 1) + "\n");
  ServiceResult result;
  result.number = pk;
  return result;
}

ServiceResult StandInService::FeedbackResponse(const std::string& userFeedback) {
  pugi::xml_document feedback;
  if (!Service::LoadXmlText(feedback, DecodeField(userFeedback, "userFeedback"))) {
    throw ServiceFault("the feedback does not load");
  }
  const std::int64_t pk =
      Service::ReadSigned64(feedback.document_element().child("item").child("pk").text().get());
  pugi::xml_document reply;
  ServiceResult result;
  if (pk <= 0 ||
      !LoadFile(reply, dataFolder_ + "feedback/replies/" + std::to_string(pk) + ".xml")) {
    return result;  // no reply yet
  }
  const auto answer = reply.document_element();
  pugi::xml_document response;
  auto item = response.append_child("items").append_child("item");
  item.append_child("pk").text().set(std::to_string(pk).c_str());
  item.append_child("responseBody")
      .text()
      .set(Service::Base64EncodeText(answer.text().get()).c_str());
  item.append_child("respondedTimeStamp")
      .text()
      .set(answer.attribute("respondedTimeStamp").value());
  result.text = Service::EncodeServiceText(Service::SerializeXml(response));
  return result;
}

ServiceResult StandInService::RegisterErrorLog(const std::string& entry) {
  const std::string document = DecodeField(entry, "entry");
  std::lock_guard lock(mutex_);
  for (int number = 1;; ++number) {
    const std::string path = dataFolder_ + "errorlogs/" + std::to_string(number) + ".xml";
    if (!StampOf(path).exists) {
      WriteFile(path, document);
      break;
    }
  }
  return {};
}

ServiceResult StandInService::ParallelFirmware(const std::string& identity, bool beta) {
  pugi::xml_document catalogue;
  LoadFile(catalogue, dataFolder_ + "catalogue.xml");
  ServiceResult result;
  for (auto entry : catalogue.document_element().children("firmware")) {
    if (identity == entry.attribute("identity").value() && (!IsBeta(entry) || beta)) {
      result.strings.emplace_back(entry.attribute("id").value());
    }
  }
  return result;
}

}  // namespace Quorvane::LocalService
