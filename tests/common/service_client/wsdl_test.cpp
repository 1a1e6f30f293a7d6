// The published contract (docs/IQuorvane.wsdl) is checked by a SOAP client we did not write:
// zeep builds its requests from the WSDL and validates the stand-in service's answers against it.
#include <gtest/gtest.h>

#include "common/platform/process.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;

int RunChecked(const std::string& program, std::vector<std::string> arguments,
               std::string& output) {
  Testing::TempFolder folder;
  std::error_code error;
  auto process =
      Platform::Process::Start({program, std::move(arguments), "", folder.File("out")}, error);
  if (!process) {
    output = error.message();
    return -1;
  }
  const int code = process->Wait();
  output = Testing::ReadTextFile(folder.File("out"));
  return code;
}

TEST(Wsdl, AnIndependentSoapClientCallsTheStandInThroughIt) {
  Testing::TempFolder data;
  Testing::CopySampleServiceData(data.Path());
  Testing::LocalServiceProcess service(data.Path());
  std::string output;
  EXPECT_EQ(RunChecked("/usr/bin/python3",
                       {QUORVANE_WSDL_CONSUMER_CHECK, QUORVANE_WSDL, service.Endpoint()}, output),
            0)
      << output;
}

}  // namespace
