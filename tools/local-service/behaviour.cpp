#include "tools/local-service/behaviour.h"

#include <charconv>

namespace Quorvane::LocalService {
namespace {

std::optional<int> Number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<Behaviour> ParseBehaviour(std::string_view text) {
  using Kind = Behaviour::Kind;
  static const std::map<std::string_view, Kind> kPlain{
      {"normal", Kind::Normal},     {"fault", Kind::Fault},
      {"fault200", Kind::Fault200}, {"badbase64", Kind::BadBase64},
      {"drop", Kind::Drop},         {"cut", Kind::Cut},
      {"nil", Kind::Nil},           {"empty", Kind::Empty},
      {"unsigned", Kind::Unsigned}, {"tampered", Kind::Tampered}};
  if (auto plain = kPlain.find(text); plain != kPlain.end()) {
    return Behaviour{plain->second, {}, 0};
  }
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    return std::nullopt;
  }
  const auto number = Number(text.substr(colon + 1));
  if (!number) {
    return std::nullopt;
  }
  if (text.substr(0, colon) == "slow") {
    return Behaviour{Kind::Slow, std::chrono::milliseconds(*number), 0};
  }
  if (text.substr(0, colon) == "status" && *number >= 100 && *number <= 599) {
    return Behaviour{Kind::Status, {}, *number};
  }
  return std::nullopt;
}

bool BehaviourTable::Set(std::string_view assignment) {
  const auto equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    return false;
  }
  const auto operation = Service::FindOperation(assignment.substr(0, equals));
  const auto behaviour = ParseBehaviour(assignment.substr(equals + 1));
  if (!operation || !behaviour) {
    return false;
  }
  std::lock_guard lock(mutex_);
  behaviours_[*operation] = *behaviour;
  return true;
}

Behaviour BehaviourTable::For(Service::Operation operation) const {
  std::lock_guard lock(mutex_);
  auto found = behaviours_.find(operation);
  return found == behaviours_.end() ? Behaviour{} : found->second;
}

}  // namespace Quorvane::LocalService
