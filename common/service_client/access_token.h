// The access token of the message list call, known to the program and the service. It only
// ever travels encoded.
#pragma once

#include <string_view>

namespace Quorvane::Service {

inline constexpr std::string_view kAccessToken =
    "Xendrapol1${ tqz4827 }|{9B3E51A2-6C7D-4F08-B1E9-5A2C7D3E8F14}";

}  // namespace Quorvane::Service
