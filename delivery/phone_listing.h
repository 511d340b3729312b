#pragma once

#include <string>
#include <vector>

namespace quillon::delivery {

// One phone as a page lists it: an id to send to, and the name the user gave it.
struct ListedPhone {
    std::string id;
    std::string name;
};

// "id:::name:::id:::name…", "" for none. A name is the user's text: a separator
// inside it is broken up, so it never splits the listing.
[[nodiscard]] std::string phoneListing(const std::vector<ListedPhone>& phones);

}  // namespace quillon::delivery
