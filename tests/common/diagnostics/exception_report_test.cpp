#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "common/diagnostics/hresult_names.h"
#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/qv77_exception.h"

namespace {

using Halvex::Exceptions::HvxArgumentException;
using Halvex::Exceptions::HvxException;

TEST(HvxExceptionReport, ListsCodeMessageAndSystemTextLineByLine) {
  const HvxException error(ENOENT, "Could not create file for update file");
  const std::string expected = std::string(
                                   "## Exception ##\n"
                                   "Type:\n"
                                   "HvxException\n"
                                   "\n"
                                   "Error Code:\n"
                                   "0x2\n"
                                   "\n"
                                   "Message:\n"
                                   "Could not create file for update file\n"
                                   "\n"
                                   "Win32 Error Code Message:\n") +
                               std::strerror(ENOENT) +
                               "\n"
                               "\n"
                               "COM Last Error Message:\n"
                               "\n"
                               "\n";
  EXPECT_EQ(error.ToString(), expected);
  EXPECT_STREQ(error.what(), "Unknown exception");
}

// The code in hexadecimal without leading zeros; the system's text for it, empty when it has none.
TEST(HvxExceptionReport, CodeAndSystemLinesForZeroAndForUnknownCodes) {
  const struct {
    unsigned code;
    std::string codeLines, systemLines;
  } cases[] = {
      {0, "Error Code:\n0x0\n",
       std::string("Win32 Error Code Message:\n") + std::strerror(0) + "\n"},
      {0x8007000Eu, "Error Code:\n0x8007000e\n",
       "Win32 Error Code Message:\n\n\nCOM Last Error Message:"},
  };
  for (const auto& c : cases) {
    const std::string report = HvxException(c.code, "m").ToString();
    EXPECT_NE(report.find(c.codeLines), std::string::npos) << report;
    EXPECT_NE(report.find(c.systemLines), std::string::npos) << report;
  }
}

TEST(HvxExceptionReport, InnerArgumentExceptionEndsTheReportAndSurvivesCopies) {
  HvxException outer("outer failure");
  outer.SetInner(HvxArgumentException("Parameter was nullptr", "pwszFileName"));
  const std::string innerReport =
      "## Exception ##\nType:\nHvxArgumentException\n\nParameter Name:\npwszFileName\n\n"
      "Message:\nParameter was nullptr\n\n";

  const std::string report = outer.ToString();
  ASSERT_GE(report.size(), innerReport.size() + 1);
  EXPECT_EQ(report.substr(report.size() - innerReport.size() - 1), innerReport + "\n");
  EXPECT_EQ(report.find("COM Last Error Message:\n\n\n"),
            report.size() - innerReport.size() - 1 - std::strlen("COM Last Error Message:\n\n\n"));

  // A thrown copy keeps the whole chain, and the copy owns its own inner object.
  HvxException copy = outer;
  outer = HvxException("replaced");
  EXPECT_EQ(copy.ToString(), report);
  ASSERT_NE(copy.Inner(), nullptr);
  EXPECT_EQ(copy.Inner()->ToString(), innerReport);
}

// The heading and the named result always; the message and the description only when present.
TEST(Qv77ExceptionReport, HeadingThenMessageAndDescriptionWhenPresent) {
  EXPECT_EQ(Quorvane::QV77Exception(Halvex::COM::kEOutOfMemory, "").ToString(),
            "## QV77Exception thrown. ##\n\n# HRESULT/ErrorCode\n  0x8007000e (E_OUTOFMEMORY)\n");
  EXPECT_EQ(Quorvane::QV77Exception(0x12345, "device gone", "detail").ToString(),
            "## QV77Exception thrown. ##\n\n# HRESULT/ErrorCode\n  0x12345 (?)\n"
            "\n# Message\n  device gone\n"
            "\n# IErrorInfo\n  detail");
}

}  // namespace
