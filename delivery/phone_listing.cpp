#include "delivery/phone_listing.h"

namespace quillon::delivery {

namespace {

constexpr const char* kSeparator = ":::";

std::string listable(std::string text)
{
    for (std::size_t at; (at = text.find(kSeparator)) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

}  // namespace

std::string phoneListing(const std::vector<ListedPhone>& phones)
{
    std::string text;
    for (const ListedPhone& phone : phones)
        text += (text.empty() ? "" : kSeparator) + listable(phone.id) + kSeparator + listable(phone.name);
    return text;
}

}  // namespace quillon::delivery
