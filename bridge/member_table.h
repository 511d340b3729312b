#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "bridge/bridge_value.h"
#include "bridge/dispatch_id.h"

namespace quillon::bridge {

// Identifies the web view whose page made a call (the main window's or a dialog's).
using CallerId = const void*;

enum class MemberKind : std::uint8_t { Method, Property, Both };
enum class ResultKind : std::uint8_t { None, Text, Integer, Boolean };

// A call's arguments in script order, read as the member's argument letters say
// (S text, I 32-bit integer). An argument that is missing, of another kind than
// its letter, or beyond the letters reads as "" or 0; extra ones are never looked at.
class Arguments {
public:
    Arguments(std::string_view kinds, std::span<const BridgeValue> scriptOrder) : kinds_(kinds), values_(scriptOrder) {}
    [[nodiscard]] std::string text(std::size_t index) const;
    [[nodiscard]] std::int32_t integer(std::size_t index) const;
    // Whether the call passed an argument at index, of whatever kind.
    [[nodiscard]] bool has(std::size_t index) const { return index < values_.size(); }

private:
    [[nodiscard]] const BridgeValue* declared(std::size_t index, char kind) const;

    std::string_view kinds_;
    std::span<const BridgeValue> values_;
};

struct Member;
// Runs a member's handler on the objects a binding knows (opaque to the bridge).
using MemberCall = BridgeValue (*)(const Member& member, void* handlers, const Arguments& arguments, CallerId caller);

struct Member {
    std::string_view name;
    MemberKind kind;
    // One letter per argument in script order: S text, I 32-bit integer.
    std::string_view argumentKinds;
    ResultKind result;
    // Empty in a table that only describes the members.
    MemberCall call = nullptr;
};

// How a handler's parameter is read from the call: its letter and its value. A
// std::optional parameter is empty when the call passed nothing there.
template <class T>
struct ArgumentReader;
template <>
struct ArgumentReader<std::string> {
    static constexpr char kLetter = 'S';
    static std::string read(const Arguments& arguments, std::size_t index) { return arguments.text(index); }
};
template <>
struct ArgumentReader<std::int32_t> {
    static constexpr char kLetter = 'I';
    static std::int32_t read(const Arguments& arguments, std::size_t index) { return arguments.integer(index); }
};
template <class T>
struct ArgumentReader<std::optional<T>> {
    static constexpr char kLetter = ArgumentReader<T>::kLetter;
    static std::optional<T> read(const Arguments& arguments, std::size_t index)
    {
        return arguments.has(index) ? std::optional<T>(ArgumentReader<T>::read(arguments, index)) : std::nullopt;
    }
};

template <class R>
constexpr ResultKind resultKindOf()
{
    if constexpr (std::is_void_v<R>)
        return ResultKind::None;
    else if constexpr (std::is_same_v<R, bool>)
        return ResultKind::Boolean;
    else if constexpr (std::is_same_v<R, std::int32_t>)
        return ResultKind::Integer;
    else {
        static_assert(std::is_same_v<R, std::string>, "a handler returns void, bool, std::int32_t or std::string");
        return ResultKind::Text;
    }
}

// How a call keeps a parameter's value while its handler runs: text as a string
// of its own, even where the handler only views it.
template <class P>
using StoredParameter =
    std::conditional_t<std::is_same_v<std::remove_cvref_t<P>, std::string_view>, std::string, std::remove_cvref_t<P>>;

// What a handler's signature says: its object (void for a free function), its
// result and its parameters, the caller's id taking no argument of the call.
template <class Object, class R, class... P>
struct HandlerSignature {
    using ObjectType = Object;
    using Result = R;
    using Parameters = std::tuple<StoredParameter<P>...>;

    template <class T>
    static constexpr bool kIsCaller = std::is_same_v<T, CallerId>;
    // A parameter's argument letter, 0 for the caller's id.
    template <class T>
    static constexpr char letterOf()
    {
        if constexpr (kIsCaller<T>)
            return 0;
        else
            return ArgumentReader<T>::kLetter;
    }
    static constexpr std::size_t kArgumentCount = ((kIsCaller<StoredParameter<P>> ? 0 : 1) + ... + 0);
    static constexpr ResultKind kResult = resultKindOf<R>();
    static constexpr auto kLetters = [] {
        std::array<char, kArgumentCount + 1> letters{};
        [[maybe_unused]] std::size_t next = 0;
        ((letters[next] = letterOf<StoredParameter<P>>(), next += letters[next] != 0 ? 1 : 0), ...);
        return letters;
    }();

    // The call's argument that parameter Position reads: the callers' ids before it take none.
    template <std::size_t Position>
    static constexpr std::size_t argumentIndex()
    {
        return [&]<std::size_t... Earlier>(std::index_sequence<Earlier...>)
        {
            return ((kIsCaller<std::tuple_element_t<Earlier, Parameters>> ? 0 : 1) + ... + 0);
        }
        (std::make_index_sequence<Position>());
    }
    template <std::size_t Position>
    static auto read(const Arguments& arguments, CallerId caller)
    {
        using T = std::tuple_element_t<Position, Parameters>;
        if constexpr (kIsCaller<T>)
            return caller;
        else
            return ArgumentReader<T>::read(arguments, argumentIndex<Position>());
    }
    // The handler's parameters read from a call, in order.
    static Parameters readAll(const Arguments& arguments, CallerId caller)
    {
        return [&]<std::size_t... Positions>(std::index_sequence<Positions...>)
        {
            return Parameters{read<Positions>(arguments, caller)...};
        }
        (std::index_sequence_for<P...>());
    }
};

template <class Object, class R, class... P>
HandlerSignature<Object, R, P...> signatureOf(R (Object::*)(P...));
template <class Object, class R, class... P>
HandlerSignature<Object, R, P...> signatureOf(R (Object::*)(P...) const);
template <class R, class... P>
HandlerSignature<void, R, P...> signatureOf(R (*)(P...));

template <auto Handler>
using SignatureOf = decltype(signatureOf(Handler));

// Runs a handler on object (ignored for a free function) with the call's arguments.
template <auto Handler, class Object>
BridgeValue invokeHandler(Object* object, const Arguments& arguments, CallerId caller)
{
    using Signature = SignatureOf<Handler>;
    auto run = [&](auto&&... parameters) {
        if constexpr (std::is_void_v<typename Signature::ObjectType>)
            return Handler(std::forward<decltype(parameters)>(parameters)...);
        else
            return (object->*Handler)(std::forward<decltype(parameters)>(parameters)...);
    };
    using R = typename Signature::Result;
    if constexpr (std::is_void_v<R>) {
        std::apply(run, Signature::readAll(arguments, caller));
        return BridgeValue();
    } else if constexpr (std::is_same_v<R, bool>)
        return BridgeValue::boolean(std::apply(run, Signature::readAll(arguments, caller)));
    else if constexpr (std::is_same_v<R, std::int32_t>)
        return BridgeValue::integer(std::apply(run, Signature::readAll(arguments, caller)));
    else
        return BridgeValue::text(std::apply(run, Signature::readAll(arguments, caller)));
}

// A table row: the member's name and kind, its letters and result kind from the
// handler's signature, and the binding's way of calling it. A binding is a type with
// `template <auto Handler> static constexpr MemberCall call()` (nullptr: describe only).
template <auto Handler, class Binding>
constexpr Member member(std::string_view name, MemberKind kind = MemberKind::Method)
{
    using Signature = SignatureOf<Handler>;
    return {name, kind, std::string_view(Signature::kLetters.data(), Signature::kArgumentCount), Signature::kResult,
            Binding::template call<Handler>()};
}
template <auto Handler, class Binding>
constexpr Member property(std::string_view name)
{
    return member<Handler, Binding>(name, MemberKind::Property);
}

// The binding of a table that only describes the members (names, kinds, letters).
struct DescribeOnly {
    template <auto Handler>
    static constexpr MemberCall call()
    {
        return nullptr;
    }
};

// The members in the order that numbers them: member n is at index n - 1, described
// only (the app's own table calls them).
std::span<const Member> memberTable();

// The member with the given number in table, or nullptr outside 1..its size.
const Member* memberById(std::span<const Member> table, DispId id);

// The job status members (the integer properties) in member order: the ones a
// status snapshot carries.
const std::vector<DispId>& statusMembers();

}  // namespace quillon::bridge
