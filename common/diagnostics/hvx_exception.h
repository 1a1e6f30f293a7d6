// The maker's utility exceptions shared by both programs, with their multi-line report texts.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace Halvex::Exceptions {

class HvxException : public std::exception {
 public:
  explicit HvxException(std::string message);
  HvxException(std::uint32_t errorCode, std::string message);
  HvxException(const HvxException& other);
  HvxException& operator=(const HvxException& other);
  HvxException(HvxException&&) noexcept = default;
  HvxException& operator=(HvxException&&) noexcept = default;
  ~HvxException() override;

  // No narrow text is kept, so the standard text is the generic one.
  const char* what() const noexcept override { return "Unknown exception"; }
  virtual std::string ToString() const;

  std::uint32_t ErrorCode() const { return errorCode_; }
  const std::string& Message() const { return message_; }
  const HvxException* Inner() const { return inner_.get(); }
  // The outer exception owns its inner one; a chain is reported outer first.
  void SetInner(const HvxException& inner) { inner_ = inner.Clone(); }

 protected:
  virtual std::unique_ptr<HvxException> Clone() const;
  // The inner exception's report and one more line feed, or nothing.
  std::string InnerReport() const;

 private:
  std::uint32_t errorCode_ = 0;
  std::string message_;
  std::unique_ptr<HvxException> inner_;
};

class HvxArgumentException : public HvxException {
 public:
  HvxArgumentException(std::string message, std::string parameterName);

  std::string ToString() const override;
  const std::string& ParameterName() const { return parameterName_; }

 protected:
  std::unique_ptr<HvxException> Clone() const override;

 private:
  std::string parameterName_;
};

}  // namespace Halvex::Exceptions
