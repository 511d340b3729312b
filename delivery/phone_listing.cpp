#include "delivery/phone_listing.h"

#include <string_view>

namespace quillon::delivery {

namespace {

constexpr std::string_view kSeparator = ":::";

std::string listable(std::string text)
{
    for (std::size_t at; (at = text.find(kSeparator)) != std::string::npos;)
        text.erase(at, 1);
    const std::size_t first = text.find_first_not_of(':');
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(':') + 1 - first);
}

}  // namespace

std::string phoneListing(const std::vector<ListedPhone>& phones)
{
    std::string text;
    for (const ListedPhone& phone : phones)
        text.append(text.empty() ? "" : kSeparator)
            .append(listable(phone.id))
            .append(kSeparator)
            .append(listable(phone.name));
    return text;
}

}  // namespace quillon::delivery
