#pragma once

#include <string>

namespace quillon::bridge {

// Whether uri is a file URL of a page inside resDir (an absolute, canonical
// folder path). Only such pages get the bridge.
[[nodiscard]] bool isAppPage(const std::string& uri, const std::string& resDir);

}  // namespace quillon::bridge
