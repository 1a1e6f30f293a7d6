// A fault in an XML configuration or document, with the HRESULT of the failing step.
#pragma once

#include <cstdint>
#include <string>

namespace Quorvane::Config {

class CXmlConfigurationException {
 public:
  CXmlConfigurationException(std::uint32_t errorCode, std::string message);

  std::string ToString() const;
  std::uint32_t ErrorCode() const { return errorCode_; }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
  std::uint32_t errorCode_;
};

}  // namespace Quorvane::Config
