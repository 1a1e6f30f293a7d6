#include "common/service_client/service_call.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/service_client/soap_envelope.h"

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

// Takes the answer's body as it arrives.
class AnswerReceiver {
 public:
  virtual ~AnswerReceiver() = default;
  // False stops the transfer.
  virtual bool Receive(CURL* handle, std::string_view piece) = 0;
  // The length the server announced, before the body arrives.
  virtual void Announced(std::size_t) {}
  // Bounds the whole answer's size in libcurl as well; 0 for no bound.
  virtual std::size_t Limit() const { return 0; }
};

std::size_t ReceiveChunk(char* data, std::size_t size, std::size_t count, void* context) {
  auto* receiver = static_cast<std::pair<AnswerReceiver*, CURL*>*>(context);
  const std::size_t bytes = size * count;
  // Returning less than given makes libcurl stop with a write error.
  return receiver->first->Receive(receiver->second, std::string_view(data, bytes)) ? bytes : 0;
}

std::size_t ReceiveHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto* receiver = static_cast<AnswerReceiver*>(context);
  const std::string_view line(data, size * count);
  constexpr std::string_view kLength = "content-length:";
  if (line.size() > kLength.size()) {
    std::string name(line.substr(0, kLength.size()));
    for (char& character : name) character = static_cast<char>(std::tolower(character));
    if (name == kLength) {
      receiver->Announced(
          std::strtoull(std::string(line.substr(kLength.size())).c_str(), nullptr, 10));
    }
  }
  return size * count;
}

// The whole answer in memory, refused once it outgrows the limit.
class BufferedAnswer final : public AnswerReceiver {
 public:
  explicit BufferedAnswer(std::size_t limit) : limit_(limit) {}
  bool Receive(CURL*, std::string_view piece) override {
    if (body.size() + piece.size() > limit_) {
      return false;
    }
    body.append(piece);
    return true;
  }
  // Reserves the announced length at once, so a large answer is not copied while it grows.
  void Announced(std::size_t length) override {
    if (length <= limit_) {
      body.reserve(length);
    }
  }
  std::size_t Limit() const override { return limit_; }

  std::string body;

 private:
  std::size_t limit_;
};

// The answer read as it arrives, its items handed to a sink. An answer with another status than
// 200 is a failure (a fault comes with 500): nothing of it is read.
class StreamedAnswer final : public AnswerReceiver {
 public:
  StreamedAnswer(Operation operation, StringItemSink& sink, std::size_t otherLimit)
      : reader(operation, sink, otherLimit) {}
  bool Receive(CURL* handle, std::string_view piece) override {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status == 200 && reader.Feed(piece);
  }

  StringArrayAnswerReader reader;
};

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

// Posts the request and hands the answer's body to the receiver. The HTTP status when the
// transfer completed, else nothing (with `failure` filled in).
std::optional<long> Transfer(std::string_view endpoint, const CallSettings& settings,
                             Operation operation, std::span<const ServiceValue> inputs,
                             AnswerReceiver& receiver, CallFailure* failure) {
  if (endpoint.empty() || endpoint.size() >= kMaxEndpointLength) {
    return std::nullopt;
  }
  std::string request;
  try {
    request = BuildRequestEnvelope(operation, inputs);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }

  InitialiseCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    return std::nullopt;
  }
  std::unique_ptr<curl_slist, CurlDeleter> headers;
  const auto addHeader = [&](const std::string& header) {
    curl_slist* grown = curl_slist_append(headers.get(), header.c_str());
    if (grown != nullptr) {
      static_cast<void>(headers.release());  // the same list, now headed by `grown`
      headers.reset(grown);
    }
    return grown != nullptr;
  };
  if (!addHeader("Content-Type: text/xml; charset=utf-8") ||
      !addHeader("SOAPAction: \"" + RequestAction(operation) + "\"") || !addHeader("Expect:")) {
    return std::nullopt;
  }

  const std::string url(endpoint);
  const long timeout = static_cast<long>(settings.timeout.count());
  CURL* handle = curl.get();
  std::pair<AnswerReceiver*, CURL*> writeContext{&receiver, handle};
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeout);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeout);
  if (receiver.Limit() != 0) {
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(receiver.Limit()));
  }
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, ReceiveChunk);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &writeContext);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReceiveHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &receiver);
  if (settings.cancel != nullptr) {
    if (settings.cancel->load()) {
      return std::nullopt;
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
  if (transfer != CURLE_OK) {
    if (failure != nullptr) {
      failure->certificate = IsCertificateFailure(transfer);
      // A time-out after the connection was made: the answer was too slow, not the server absent.
      curl_off_t connected = 0;
      curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connected);
      failure->timedOut = transfer == CURLE_OPERATION_TIMEDOUT && connected > 0;
      failure->reason = errorText[0] != '\0' ? errorText : curl_easy_strerror(transfer);
    }
    return std::nullopt;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

}  // namespace

bool ServiceCall(std::string_view endpoint, const CallSettings& settings, Operation operation,
                 std::span<const ServiceValue> inputs, ServiceResult& result,
                 CallFailure* failure) {
  BufferedAnswer answer(settings.heapBytes);
  // A SOAP 1.1 fault comes with 500, and is a failure like any status but 200.
  if (Transfer(endpoint, settings, operation, inputs, answer, failure) != 200L) {
    return false;
  }
  ServiceResult answered;
  if (ParseResponseEnvelope(operation, answer.body, answered) != ResponseStatus::Ok) {
    return false;
  }
  result = std::move(answered);
  return true;
}

bool StreamingServiceCall(std::string_view endpoint, const CallSettings& settings,
                          Operation operation, std::span<const ServiceValue> inputs,
                          StringItemSink& sink, CallFailure* failure) {
  StreamedAnswer answer(operation, sink, settings.heapBytes);
  return Transfer(endpoint, settings, operation, inputs, answer, failure) == 200L &&
         answer.reader.Finish() == ResponseStatus::Ok;
}

}  // namespace Quorvane::Service
