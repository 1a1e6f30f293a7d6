// quorvane-local-service: a stand-in for the maker's web service on a loopback port.
//
//   quorvane-local-service --data FOLDER [--port N] [--sign-with KEY] [--behave
//   Operation=behaviour]...
//
// Port 0 (the default) picks a free port. The port is printed on stdout as the first line
// once the service accepts calls. Each call is logged on stderr. SIGTERM or SIGINT end it.
// Behaviours (see behaviour.h) can also be changed while it runs: POST /control with lines
// "Operation=behaviour". GET /files/PATH serves the data folder's files unchanged. --sign-with
// names a minisign secret key (made with -W, no password) that signs the update files offered.
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "common/platform/program_start.h"
#include "common/service_client/access_token.h"
#include "tools/local-service/behaviour.h"
#include "tools/local-service/soap_server_envelope.h"
#include "tools/local-service/stand_in_service.h"

namespace {

using namespace Quorvane;
using LocalService::Behaviour;

constexpr const char* kServicePath = "/Services/DefaultService.svc";
constexpr const char* kXmlType = "text/xml; charset=utf-8";

struct Options {
  std::string dataFolder;
  int port = 0;
  std::vector<std::string> behaviours;
  std::string signingKey;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (index + 1 >= argc) {
      return false;
    }
    const std::string value = argv[++index];
    if (argument == "--data") {
      options.dataFolder = value;
    } else if (argument == "--port") {
      options.port = std::atoi(value.c_str());
    } else if (argument == "--sign-with") {
      options.signingKey = value;
    } else if (argument == "--behave") {
      options.behaviours.push_back(value);
    } else {
      return false;
    }
  }
  return !options.dataFolder.empty();
}

// Replaces the result with text that no Base64 decoder accepts.
void SpoilBase64(Service::ServiceResult& result) {
  constexpr const char* kNotBase64 = "!!not*base64!!";
  result.text = kNotBase64;
  for (auto& item : result.strings) {
    item = kNotBase64;
  }
}

// Sends the answer while it is being escaped, a slice at a time: answers can carry files of
// many megabytes.
// A cut answer stops half-way, as a broken connection does.
void StreamAnswer(httplib::Response& response, Service::Operation operation,
                  Service::ServiceResult result, bool nil, bool cut) {
  struct Stream {
    Service::ServiceResult result;
    std::optional<Service::ResponseEnvelopeWriter> writer;
    std::string piece;
    std::size_t sent = 0;  // of the piece
  };
  auto stream = std::make_shared<Stream>();
  stream->result = std::move(result);
  stream->writer.emplace(operation, stream->result, nil);
  const std::size_t cutAt = cut ? stream->writer->Length() / 2 : stream->writer->Length();
  response.set_content_provider(
      stream->writer->Length(), kXmlType,
      [stream, cutAt](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        if (offset >= cutAt) {
          return false;
        }
        length = std::min(length, cutAt - offset);
        constexpr std::size_t kSlice = 1024 * 1024;
        if (stream->sent == stream->piece.size()) {
          stream->piece.clear();
          stream->sent = 0;
          if (!stream->writer->AppendNextPiece(stream->piece, kSlice)) {
            return false;
          }
        }
        const std::size_t count = std::min(length, stream->piece.size() - stream->sent);
        const bool written = sink.write(stream->piece.data() + stream->sent, count);
        stream->sent += count;
        return written;
      });
}

void Answer(const httplib::Request& request, httplib::Response& response,
            LocalService::StandInService& service, const LocalService::BehaviourTable& table) {
  const auto parsed = Service::ParseRequestEnvelope(request.body);
  if (!parsed) {
    response.status = 500;
    response.set_content(Service::BuildFaultEnvelope("s:Client", "not a request of the contract"),
                         kXmlType);
    return;
  }
  const Behaviour behaviour = table.For(parsed->operation);
  using Kind = Behaviour::Kind;
  switch (behaviour.kind) {
    case Kind::Slow:
      std::this_thread::sleep_for(behaviour.delay);
      break;
    case Kind::Fault:
    case Kind::Fault200:
      response.status = behaviour.kind == Kind::Fault ? 500 : 200;
      response.set_content(Service::BuildFaultEnvelope("s:Server", "fault on request"), kXmlType);
      return;
    case Kind::Status:
      response.status = behaviour.status;
      response.set_content("status on request", "text/plain");
      return;
    case Kind::Drop:
      // Announces a body, then closes the connection without sending it.
      response.set_content_provider(
          1024, kXmlType, [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
      return;
    default:
      break;
  }
  try {
    Service::ServiceResult result;
    if (behaviour.kind != Kind::Nil && behaviour.kind != Kind::Empty) {
      using LocalService::Signatures;
      result = service.Answer(*parsed, behaviour.kind == Kind::Unsigned   ? Signatures::LeftOut
                                       : behaviour.kind == Kind::Tampered ? Signatures::Mismatched
                                                                          : Signatures::Sent);
    }
    if (behaviour.kind == Kind::BadBase64) {
      SpoilBase64(result);
    }
    StreamAnswer(response, parsed->operation, std::move(result), behaviour.kind == Kind::Nil,
                 behaviour.kind == Kind::Cut);
  } catch (const LocalService::ServiceFault& fault) {
    response.status = 500;
    response.set_content(Service::BuildFaultEnvelope("s:Client", fault.what()), kXmlType);
  } catch (const std::exception& error) {
    response.status = 500;
    response.set_content(Service::BuildFaultEnvelope("s:Server", error.what()), kXmlType);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: quorvane-local-service --data FOLDER [--port N] [--sign-with KEY] "
                 "[--behave Operation=behaviour]...\n";
    return 2;
  }
  LocalService::BehaviourTable behaviours;
  for (const auto& assignment : options.behaviours) {
    if (!behaviours.Set(assignment)) {
      std::cerr << "unknown behaviour: " << assignment << "\n";
      return 2;
    }
  }
  LocalService::StandInService service(options.dataFolder, std::string(Service::kAccessToken),
                                       options.signingKey);

  // Termination signals are taken by a thread of their own, which stops the server cleanly.
  const Platform::StopSignals stopSignals;

  httplib::Server server;
  // Enough workers that many clients at once never wait behind idle keep-alive connections.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server.set_keep_alive_timeout(1);
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    const auto operation = Service::ParseRequestEnvelope(request.body);
    std::fprintf(
        stderr, "local-service: %s %s %s -> %d\n", request.method.c_str(), request.path.c_str(),
        operation ? std::string(Service::Describe(operation->operation).name).c_str() : "-",
        response.status);
  });
  server.Post(kServicePath, [&](const httplib::Request& request, httplib::Response& response) {
    Answer(request, response, service, behaviours);
  });
  // The data folder's files as they are, for comparing a plain download with a service call.
  server.set_mount_point("/files", options.dataFolder);
  server.Post("/control", [&](const httplib::Request& request, httplib::Response& response) {
    std::istringstream lines(request.body);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && !behaviours.Set(line)) {
        response.status = 400;
        response.set_content("unknown behaviour: " + line + "\n", "text/plain");
        return;
      }
    }
    response.set_content("ok\n", "text/plain");
  });

  const int port = options.port == 0
                       ? server.bind_to_any_port("127.0.0.1")
                       : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
  if (port <= 0) {
    std::cerr << "cannot listen on port " << options.port << "\n";
    return 1;
  }
  std::thread stopper([&] {
    stopSignals.Wait();
    server.stop();
  });
  std::printf("%d\n", port);
  std::fflush(stdout);
  server.listen_after_bind();
  // The listener can also end on its own (socket error): wake the signal thread then.
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return 0;
}
