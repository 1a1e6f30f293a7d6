#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "common/diagnostics/com_exception.h"
#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/qv77_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"

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

TEST(HvxExceptionReport, CodeZeroShowsDigitZeroAndTheSuccessText) {
  const std::string report = HvxException("m").ToString();
  EXPECT_NE(report.find("Error Code:\n0x0\n"), std::string::npos);
  EXPECT_NE(report.find(std::string("Win32 Error Code Message:\n") + std::strerror(0) + "\n"),
            std::string::npos);
}

TEST(HvxExceptionReport, UnknownSystemCodeGivesAnEmptySystemLineAndHexWithoutLeadingZeros) {
  const std::string report = HvxException(0x8007000Eu, "m").ToString();
  EXPECT_NE(report.find("Error Code:\n0x8007000e\n"), std::string::npos);
  EXPECT_NE(report.find("Win32 Error Code Message:\n\n\nCOM Last Error Message:"),
            std::string::npos);
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

TEST(HvxExceptionReport, ArgumentExceptionIsCaughtAsHvxExceptionWithItsOwnReport) {
  try {
    throw HvxArgumentException("Index out of range.", "index");
  } catch (const HvxException& caught) {
    EXPECT_EQ(caught.ToString(),
              "## Exception ##\nType:\nHvxArgumentException\n\nParameter Name:\nindex\n\n"
              "Message:\nIndex out of range.\n\n");
  }
}

TEST(Qv77ExceptionReport, OutOfMemoryWithoutMessageGivesExactlyTheHeading) {
  const Quorvane::QV77Exception error(Halvex::COM::kEOutOfMemory, "");
  EXPECT_EQ(error.ToString(),
            "## QV77Exception thrown. ##\n\n# HRESULT/ErrorCode\n  0x8007000e (E_OUTOFMEMORY)\n");
}

TEST(Qv77ExceptionReport, MessageAndDescriptionAreAppendedWhenPresent) {
  const Quorvane::QV77Exception error(0x12345, "device gone", "detail");
  EXPECT_EQ(error.ToString(),
            "## QV77Exception thrown. ##\n\n# HRESULT/ErrorCode\n  0x12345 (?)\n"
            "\n# Message\n  device gone\n"
            "\n# IErrorInfo\n  detail");
}

TEST(HResultNames, KnownResultsAreNamedAndOthersAreQuestionMarks) {
  EXPECT_EQ(Halvex::COM::HResultName(0), "S_OK");
  EXPECT_EQ(Halvex::COM::HResultName(1), "S_FALSE");
  EXPECT_EQ(Halvex::COM::HResultName(Halvex::COM::kEFail), "E_FAIL");
  EXPECT_EQ(Halvex::COM::HResultName(Halvex::COM::kEHandle), "E_HANDLE");
  EXPECT_EQ(Halvex::COM::HResultName(Halvex::COM::kEInvalidArg), "E_INVALIDARG");
  EXPECT_EQ(Halvex::COM::HResultName(Halvex::COM::kClassNotAvailable),
            "CLASS_E_CLASSNOTAVAILABLE");
  EXPECT_EQ(Halvex::COM::HResultName(Halvex::COM::kENoInterface), "E_NOINTERFACE");
  EXPECT_EQ(Halvex::COM::HResultName(2), "?");
  EXPECT_EQ(Halvex::COM::HResultName(-1), "?");
}

TEST(ComExceptionFields, TextIsEmptyAndSystemMessageIsCapturedAtConstruction) {
  const Halvex::COM::ComException error(Halvex::COM::kEOutOfMemory);
  EXPECT_EQ(error.Result(), Halvex::COM::kEOutOfMemory);
  EXPECT_TRUE(error.Text().empty());
  EXPECT_TRUE(error.ErrorInfoDescription().empty());
  EXPECT_EQ(error.SystemMessage(), "Not enough memory to complete this operation.");
  EXPECT_EQ(Halvex::COM::HResultName(error.Result()), "E_OUTOFMEMORY");
  EXPECT_EQ(Halvex::COM::ComException(Halvex::COM::kEInvalidArg).SystemMessage(), "The parameter is incorrect.");
  EXPECT_TRUE(Halvex::COM::ComException(0x7777).SystemMessage().empty());
  EXPECT_EQ(Halvex::COM::HResultName(0x7777), "?");
}

TEST(XmlConfigurationExceptionReport, FourLinesWithLowerCaseHexCode) {
  const Quorvane::Config::CXmlConfigurationException error(
      0x80004005u, "Invalid Selection of |servers| IXMLDOMNode->selectSingleNode.");
  EXPECT_EQ(error.ToString(),
            "## Exception Information ##\n"
            "Type: CXmlConfigurationException\n"
            "Message: Invalid Selection of |servers| IXMLDOMNode->selectSingleNode.\n"
            "ErrorCode: 0x80004005\n");
  EXPECT_EQ(Quorvane::Config::CXmlConfigurationException(0, "File 'x' is Invalid.").ToString(),
            "## Exception Information ##\nType: CXmlConfigurationException\n"
            "Message: File 'x' is Invalid.\nErrorCode: 0x0\n");
}

}  // namespace
