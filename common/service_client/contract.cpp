#include "common/service_client/contract.h"

namespace Quorvane::Service {
namespace {

constexpr auto kText = FieldType::String;
constexpr auto kFlag = FieldType::Boolean;
constexpr auto kTexts = FieldType::StringArray;
constexpr auto kReturnsNothing = ResultKind::None;
constexpr auto kReturnsText = ResultKind::String;
constexpr auto kReturnsTexts = ResultKind::StringArray;
constexpr auto kReturnsLong = ResultKind::Long;
constexpr ParameterSpec kNone{"", kText};

constexpr std::array<OperationSpec, 13> kOperations{{
    {Operation::CheckForUpdate, "CheckForUpdate", {{{"payload", kText}, kNone}}, 1, kReturnsTexts},
    {Operation::CheckForUpdateEx,
     "CheckForUpdateEx",
     {{{"payload", kText}, {"isBeta", kFlag}}},
     2,
     kReturnsTexts},
    {Operation::DownloadFirmware,
     "DownloadFirmware",
     {{{"payload", kText}, kNone}},
     1,
     kReturnsText},
    {Operation::EnumerateFirmwares,
     "EnumerateFirmwares",
     {{{"id", kText}, {"isBeta", kFlag}}},
     2,
     kReturnsText},
    {Operation::EnumerateBootloaders,
     "EnumerateBootloaders",
     {{{"id", kText}, {"isBeta", kFlag}}},
     2,
     kReturnsText},
    {Operation::Execute, "Execute", {{{"payload", kTexts}, kNone}}, 1, kReturnsTexts},
    {Operation::ExecuteCRM, "ExecuteCRM", {{{"payload", kText}, kNone}}, 1, kReturnsText},
    {Operation::RegisterErrorLogEntry,
     "RegisterErrorLogEntry",
     {{{"entry", kText}, kNone}},
     1,
     kReturnsNothing},
    {Operation::RegisterUserFeedback,
     "RegisterUserFeedback",
     {{{"userFeedback", kText}, kNone}},
     1,
     kReturnsLong},
    {Operation::GetUserFeedbackResponse,
     "GetUserFeedbackResponse",
     {{{"userFeedback", kText}, kNone}},
     1,
     kReturnsText},
    {Operation::GetQuorvaneMessageToUsers,
     "GetQuorvaneMessageToUsers",
     {{{"token", kText}, kNone}},
     1,
     kReturnsText},
    {Operation::GetParallelFirmware,
     "GetParallelFirmware",
     {{{"type", kText}, kNone}},
     1,
     kReturnsTexts},
    {Operation::GetParallelFirmwareEx,
     "GetParallelFirmwareEx",
     {{{"type", kText}, {"isBeta", kFlag}}},
     2,
     kReturnsTexts},
}};

}  // namespace

std::span<const OperationSpec> AllOperations() { return kOperations; }

const OperationSpec& Describe(Operation operation) {
  return kOperations[static_cast<std::size_t>(operation)];
}

std::optional<Operation> FindOperation(std::string_view name) {
  for (const auto& spec : kOperations) {
    if (spec.name == name) {
      return spec.operation;
    }
  }
  return std::nullopt;
}

std::string RequestAction(Operation operation) {
  return std::string(kContractNamespace) + "/IQuorvane/" + std::string(Describe(operation).name);
}

}  // namespace Quorvane::Service
