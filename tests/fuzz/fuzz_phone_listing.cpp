// The paired phones the page lists, split at ":::": a phone for each line of names.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "delivery/phone_listing.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::delivery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<ListedPhone> phones;
    for (std::string name; phones.size() < 64 && std::getline(in, name);)
        phones.push_back({"kdeconnect/d" + std::to_string(phones.size()), name});
    // As the page splits it: every phone two fields, its id whole and a name that cannot run into a separator.
    const std::string listing = phoneListing(phones);
    std::vector<std::string> fields;
    for (std::size_t from = 0, at = 0; !listing.empty() && at != std::string::npos; from = at + 3)
        fields.push_back(listing.substr(from, (at = listing.find(":::", from)) - from));
    FUZZ_CHECK(fields.size() == 2 * phones.size());
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        FUZZ_CHECK(fields[i] == phones[i / 2].id);
        FUZZ_CHECK(!fields[i + 1].starts_with(':') && !fields[i + 1].ends_with(':'));
    }
    return 0;
}
