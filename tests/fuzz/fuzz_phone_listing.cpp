// The list of paired phones the page splits at ":::": any names, any number of them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/phone_listing.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::delivery;

namespace {

// As the page splits it (JavaScript's split(":::")).
std::vector<std::string> split(std::string_view text)
{
    std::vector<std::string> fields;
    if (text.empty())
        return fields;
    for (std::size_t at; (at = text.find(":::")) != std::string_view::npos; text.remove_prefix(at + 3))
        fields.emplace_back(text.substr(0, at));
    fields.emplace_back(text);
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One name per line, each for a phone of its own.
    std::vector<ListedPhone> phones;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && phones.size() < 64) {
        const std::size_t end = rest.find('\n');
        phones.push_back({"kdeconnect/d" + std::to_string(phones.size()), std::string(rest.substr(0, end))});
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    const std::vector<std::string> fields = split(phoneListing(phones));
    // Every phone gives two fields, its id unharmed and a name that the listing could not split.
    FUZZ_CHECK(fields.size() == 2 * phones.size());
    for (std::size_t i = 0; i < phones.size(); ++i) {
        FUZZ_CHECK(fields[2 * i] == phones[i].id);
        const std::string& name = fields[2 * i + 1];
        FUZZ_CHECK(name.find(":::") == std::string::npos && !name.starts_with(':') && !name.ends_with(':'));
        FUZZ_CHECK(name.size() <= phones[i].name.size());
    }
    return 0;
}
