#pragma once

#include <string>
#include <utility>

namespace quillon::bridge {

// Whether uri is a file URL of a page inside resDir (an absolute, canonical
// folder path). Only such pages get the bridge.
[[nodiscard]] bool isAppPage(const std::string& uri, const std::string& resDir);

// isAppPage for a view's current address (nullptr: none), worked out again only
// when the address changes: a page makes all its calls from one address, and the
// check is asked on every call.
class AppPageCheck {
public:
    explicit AppPageCheck(std::string resDir) : resDir_(std::move(resDir)) {}
    [[nodiscard]] bool operator()(const char* uri);

private:
    std::string resDir_;
    std::string lastUri_;
    bool lastAnswer_ = false;  // isAppPage of lastUri_
};

}  // namespace quillon::bridge
