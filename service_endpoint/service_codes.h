#pragma once

#include <string_view>

namespace quillon::service_endpoint {

// The codes the service reads from every upload and redirect address: who sent
// the user (fixed, deliberately not the stored TEAid setting) and which product
// this is.
inline constexpr std::string_view kAffiliateCode = "2";
inline constexpr std::string_view kProductCode = "2";

}  // namespace quillon::service_endpoint
