#pragma once

#include <string>
#include <vector>

namespace quillon::delivery {

// A paired phone as the page lists it.
struct ListedPhone {
    std::string id;  // "kdeconnect/<device>" or "gsconnect/<device>": letters, digits, '_' and that one '/'
    std::string name;
};

// "id:::name:::id:::name…" ("" for none), which the page splits at ":::". A name
// is the user's text: each run of three colons in it loses one, and colons at its
// ends go, so that no name splits the listing or runs into the separator beside it.
[[nodiscard]] std::string phoneListing(const std::vector<ListedPhone>& phones);

}  // namespace quillon::delivery
