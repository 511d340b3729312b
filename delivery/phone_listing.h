#pragma once

#include <string>
#include <vector>

namespace quillon::delivery {

// One phone as a page lists it: an id to send to, and the name the user gave it.
struct ListedPhone {
    std::string id;
    std::string name;
};

// "id:::name:::id:::name…" ("" for none), which the page splits at ":::". A name
// is the user's text: each run of three colons in it loses one, and colons at its
// ends go, so that no name splits the listing or runs into the separator beside it.
// An id is cleaned the same way, though none we make holds a colon at its ends.
[[nodiscard]] std::string phoneListing(const std::vector<ListedPhone>& phones);

}  // namespace quillon::delivery
