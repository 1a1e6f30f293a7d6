#include "common/diagnostics/xml_configuration_exception.h"

#include "common/diagnostics/report_text.h"

namespace Quorvane::Config {

CXmlConfigurationException::CXmlConfigurationException(std::uint32_t errorCode, std::string message)
    : message_(std::move(message)), errorCode_(errorCode) {}

std::string CXmlConfigurationException::ToString() const {
  return "## Exception Information ##\nType: CXmlConfigurationException\nMessage: " + message_ +
         "\nErrorCode: 0x" + Halvex::Exceptions::LowerHex(errorCode_) + "\n";
}

}  // namespace Quorvane::Config
