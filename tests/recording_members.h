#pragma once

#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/member_rows.h"
#include "bridge/member_table.h"

namespace quillon::test {

// Stands in for the app's handlers: every call is recorded as "Name arg|arg|..." (the
// member's name without its prefix; an optional argument the call did not pass as
// "(absent)") and answered with what the test set for that member, else with the
// answer of its result kind. Recording can be turned off for measurements.
struct RecordedCalls {
    bool recording = true;
    std::vector<std::string> calls;
    bridge::CallerId lastCaller = nullptr;
    std::string text;
    std::int32_t integer = 0;
    bool boolean = true;
    // What a member answers instead, by its name without the prefix.
    std::map<std::string, bridge::BridgeValue, std::less<>> answers;

    bridge::BridgeValue answer(std::string_view member, bridge::ResultKind kind) const
    {
        if (const auto given = answers.find(member); given != answers.end())
            return given->second;
        switch (kind) {
        case bridge::ResultKind::Text: return bridge::BridgeValue::text(text);
        case bridge::ResultKind::Integer: return bridge::BridgeValue::integer(integer);
        case bridge::ResultKind::Boolean: return bridge::BridgeValue::boolean(boolean);
        case bridge::ResultKind::None: break;
        }
        return {};
    }
};

namespace detail {

template <class T>
void writeArgument(std::ostream& out, const std::optional<T>& value)
{
    if (value)
        out << *value;
    else
        out << "(absent)";
}
void writeArgument(std::ostream& out, const auto& value) { out << value; }

template <auto Handler>
bridge::BridgeValue record(const bridge::Member& member, void* handlers, const bridge::Arguments& arguments,
                           bridge::CallerId caller)
{
    auto& recorded = *static_cast<RecordedCalls*>(handlers);
    const auto parameters = bridge::SignatureOf<Handler>::readAll(arguments, caller);
    if (recorded.recording) {
        std::ostringstream call;
        call << member.name.substr(4);
        const char* separator = " ";
        std::apply(
            [&](const auto&... parameter) {
                [[maybe_unused]] const auto write = [&](const auto& value) {
                    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>, bridge::CallerId>)
                        recorded.lastCaller = value;
                    else {
                        call << std::exchange(separator, "|");
                        writeArgument(call, value);
                    }
                };
                (write(parameter), ...);
            },
            parameters);
        recorded.calls.push_back(call.str());
    }
    return recorded.answer(member.name.substr(4), member.result);
}

struct RecordingBinding {
    template <auto Handler>
    static constexpr bridge::MemberCall call()
    {
        return &record<Handler>;
    }
};

}  // namespace detail

// The app's member table with every call recorded into the RecordedCalls the bridge finds.
inline std::span<const bridge::Member> recordingMembers()
{
    static constexpr auto kRows = app::memberRows<detail::RecordingBinding>();
    return kRows;
}

}  // namespace quillon::test
