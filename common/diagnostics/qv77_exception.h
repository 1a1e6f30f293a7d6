// The center's own exception; caught at its top levels.
#pragma once

#include <cstdint>
#include <string>

namespace Quorvane {

class QV77Exception {
 public:
  QV77Exception(std::int32_t hresult, std::string message, std::string errorInfoDescription = {});

  std::string ToString() const;
  std::int32_t Result() const { return hresult_; }
  const std::string& Message() const { return message_; }
  const std::string& ErrorInfoDescription() const { return errorInfoDescription_; }

 private:
  std::int32_t hresult_;
  std::string errorInfoDescription_;
  std::string message_;
};

}  // namespace Quorvane
