// The IQuorvane service contract: namespaces, actions and one table describing every
// operation's parameters and result, used by the client and the stand-in service alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Quorvane::Service {

inline constexpr std::string_view kContractNamespace =
    "http://schemas.quorvane.example/2016/IQuorvane";
// String arrays follow the data-contract serialization convention for arrays.
inline constexpr std::string_view kArraysNamespace =
    "http://schemas.microsoft.com/2003/10/Serialization/Arrays";
// The maker's service, the center's endpoint unless QUORVANE_SERVICE_ENDPOINT names another.
inline constexpr std::string_view kDefaultEndpoint =
    "https://services.quorvane.example/Services/DefaultService.svc";
inline constexpr std::string_view kSoapEnvelopeNamespace =
    "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kSchemaInstanceNamespace =
    "http://www.w3.org/2001/XMLSchema-instance";

enum class Operation {
  CheckForUpdate,
  CheckForUpdateEx,
  DownloadFirmware,
  EnumerateFirmwares,
  EnumerateBootloaders,
  Execute,
  ExecuteCRM,
  RegisterErrorLogEntry,
  RegisterUserFeedback,
  GetUserFeedbackResponse,
  GetQuorvaneMessageToUsers,
  GetParallelFirmware,
  GetParallelFirmwareEx,
};

enum class FieldType { String, Boolean, StringArray };
enum class ResultKind { None, String, StringArray, Long };

struct ParameterSpec {
  std::string_view name;
  FieldType type;
};

struct OperationSpec {
  Operation operation;
  std::string_view name;
  std::array<ParameterSpec, 2> parameterSlots;
  std::size_t parameterCount;
  ResultKind result;

  std::span<const ParameterSpec> Parameters() const {
    return {parameterSlots.data(), parameterCount};
  }
};

// The contract's thirteen operations.
std::span<const OperationSpec> AllOperations();
const OperationSpec& Describe(Operation operation);
std::optional<Operation> FindOperation(std::string_view name);

// CN + "/IQuorvane/" + operation name
std::string RequestAction(Operation operation);

// One parameter value, of the parameter's field type.
using ServiceValue = std::variant<std::string, bool, std::vector<std::string>>;

// What an operation answered; only the member of its result kind is filled.
struct ServiceResult {
  std::string text;                  // ResultKind::String; nil, absent and empty all read ""
  std::vector<std::string> strings;  // ResultKind::StringArray; nil items read ""
  std::int64_t number = 0;           // ResultKind::Long; absent reads 0
};

}  // namespace Quorvane::Service
