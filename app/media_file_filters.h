#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::app {

// One entry of the audio file chooser's type list: its label and the extensions
// (lower case, without the dot) it shows.
struct MediaFileFilter {
    std::string label;
    std::vector<std::string_view> extensions;
};

// The chooser's type list, the first chosen when it opens: every type the app
// reads; the five classic entries with their labels word for word; the types
// those leave out.
[[nodiscard]] std::vector<MediaFileFilter> mediaFileFilters();

}  // namespace quillon::app
