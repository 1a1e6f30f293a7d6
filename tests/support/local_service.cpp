#include "tests/support/local_service.h"

#include <curl/curl.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace Quorvane::Testing {

void CopySampleServiceData(const std::string& folder) {
  std::filesystem::copy(
      QUORVANE_SAMPLE_SERVICE_DATA, folder,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

LocalServiceProcess::LocalServiceProcess(std::string dataFolder,
                                         const std::vector<std::string>& behaviours,
                                         const std::string& signingKey)
    : dataFolder_(std::move(dataFolder)) {
  Platform::ProcessSpec spec{
      QUORVANE_LOCAL_SERVICE, {"--data", dataFolder_}, "", logFolder_.File("service.log")};
  if (!signingKey.empty()) {
    spec.arguments.insert(spec.arguments.end(), {"--sign-with", signingKey});
  }
  for (const auto& behaviour : behaviours) {
    spec.arguments.push_back("--behave");
    spec.arguments.push_back(behaviour);
  }
  std::error_code error;
  process_ = Platform::Process::Start(spec, error);
  if (!process_) {
    throw std::runtime_error("cannot start the local service: " + error.message());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string log = Log();
    if (const auto end = log.find('\n'); end != std::string::npos) {
      port_ = std::atoi(log.substr(0, end).c_str());
      if (port_ > 0) {
        return;
      }
      break;
    }
    if (process_->WaitFor(std::chrono::milliseconds(5))) {
      break;
    }
  }
  throw std::runtime_error("the local service did not start: " + Log());
}

LocalServiceProcess::~LocalServiceProcess() { Stop(); }

int LocalServiceProcess::Stop() {
  if (!process_) {
    return -1;
  }
  process_->Signal(SIGTERM);
  int code = process_->WaitFor(std::chrono::seconds(20)).value_or(-1);
  if (code == -1) {
    process_->Signal(SIGKILL);
    code = process_->Wait();
  }
  process_.reset();
  return code;
}

std::string LocalServiceProcess::Endpoint() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/Services/DefaultService.svc";
}

std::string LocalServiceProcess::Log() const {
  return ReadTextFile(logFolder_.File("service.log"));
}

void LocalServiceProcess::Behave(const std::string& assignment) {
  CURL* curl = curl_easy_init();
  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/control";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, assignment.c_str());
  curl_easy_setopt(
      curl, CURLOPT_WRITEFUNCTION,
      +[](char*, size_t size, size_t count, void*) { return size * count; });
  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK || status != 200) {
    throw std::runtime_error("the local service refused behaviour " + assignment);
  }
}

}  // namespace Quorvane::Testing
