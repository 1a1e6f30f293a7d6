#include "common/service/service_call.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>

#include "common/service/soap_envelope.h"

namespace Quorvane::Service {
namespace {

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The answer as it arrives, refused once it outgrows the limit.
struct Answer {
  std::string body;
  std::size_t limit;
  bool tooLarge = false;
};

std::size_t ReceiveChunk(char* data, std::size_t size, std::size_t count, void* context) {
  auto* answer = static_cast<Answer*>(context);
  const std::size_t bytes = size * count;
  if (answer->body.size() + bytes > answer->limit) {
    answer->tooLarge = true;
    return 0;  // makes libcurl stop with a write error
  }
  answer->body.append(data, bytes);
  return bytes;
}

// Reserves the announced length at once, so a large answer is not copied while it grows.
std::size_t ReceiveHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto* answer = static_cast<Answer*>(context);
  const std::string_view line(data, size * count);
  constexpr std::string_view kLength = "content-length:";
  if (line.size() > kLength.size()) {
    std::string name(line.substr(0, kLength.size()));
    for (char& character : name) character = static_cast<char>(std::tolower(character));
    if (name == kLength) {
      const std::size_t length = std::strtoull(std::string(line.substr(kLength.size())).c_str(),
                                               nullptr, 10);
      if (length <= answer->limit) {
        answer->body.reserve(length);
      }
    }
  }
  return size * count;
}

bool IsCertificateFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return true;
    default:
      return false;
  }
}

int CheckCancel(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(context);
  return cancel->load() ? 1 : 0;
}

}  // namespace

bool ServiceCall(std::string_view endpoint, const CallSettings& settings, Operation operation,
                 std::span<const ServiceValue> inputs, ServiceResult& result, CallFailure* failure) {
  if (endpoint.empty() || endpoint.size() >= kMaxEndpointLength) {
    return false;
  }
  std::string request;
  try {
    request = BuildRequestEnvelope(operation, inputs);
  } catch (const std::invalid_argument&) {
    return false;
  }

  InitialiseCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    return false;
  }
  std::unique_ptr<curl_slist, CurlDeleter> headers;
  const auto addHeader = [&](const std::string& header) {
    curl_slist* grown = curl_slist_append(headers.get(), header.c_str());
    if (grown != nullptr) {
      headers.release();
      headers.reset(grown);
    }
    return grown != nullptr;
  };
  if (!addHeader("Content-Type: text/xml; charset=utf-8") ||
      !addHeader("SOAPAction: \"" + RequestAction(operation) + "\"") ||
      !addHeader("Expect:")) {
    return false;
  }

  Answer answer{{}, settings.heapBytes};
  const std::string url(endpoint);
  const long timeout = static_cast<long>(settings.timeout.count());
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeout);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeout);
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings.heapBytes));
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, ReceiveChunk);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReceiveHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &answer);
  if (settings.cancel != nullptr) {
    if (settings.cancel->load()) {
      return false;
    }
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(settings.cancel));
  }
  // Fewer, larger reads: answers can carry files of many megabytes.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, 2L * 1024L * 1024L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);

  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode transfer = curl_easy_perform(handle);
  if (transfer != CURLE_OK || answer.tooLarge) {
    if (failure != nullptr) {
      failure->certificate = IsCertificateFailure(transfer);
      failure->reason = errorText[0] != '\0' ? errorText : curl_easy_strerror(transfer);
    }
    return false;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  // A SOAP 1.1 fault comes with 500; any other status but 200 is a failure of its own.
  if (status != 200 && status != 500) {
    return false;
  }
  curl.reset();
  ServiceResult answered;
  if (ParseResponseEnvelope(operation, answer.body, answered) != ResponseStatus::Ok ||
      status != 200) {
    return false;
  }
  result = std::move(answered);
  return true;
}

}  // namespace Quorvane::Service
