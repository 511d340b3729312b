#include "bridge/channel_message.h"

#include <glib.h>

#include <optional>
#include <string>
#include <utility>

namespace quillon::bridge {

namespace {

enum class Op : std::uint8_t { Lookup = 1, Invoke = 2, Status = 3 };
enum class Tag : std::uint8_t { None = 0, Text = 1, Integer = 2, Boolean = 3 };

// Fixed-size fields are little-endian, as the frame header is.
class Writer {
public:
    void byte(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value) { unsigned32(value, 2); }
    void i32(std::int32_t value) { unsigned32(static_cast<std::uint32_t>(value), 4); }
    void raw(std::string_view bytes) { bytes_.append(bytes); }

    void value(const BridgeValue& value)
    {
        if (value.isText()) {
            byte(static_cast<std::uint8_t>(Tag::Text));
            text(value.asText());
        } else if (value.isInteger()) {
            byte(static_cast<std::uint8_t>(Tag::Integer));
            i32(value.asInteger());
        } else if (value.isBoolean()) {
            byte(static_cast<std::uint8_t>(Tag::Boolean));
            byte(value.asBoolean() ? 1 : 0);
        } else {
            byte(static_cast<std::uint8_t>(Tag::None));
        }
    }

    // Texts cross as UTF-8 without NULs: a byte that does not fit (a NUL among
    // them) becomes U+FFFD, so a text is repaired, never refused.
    void text(const std::string& text)
    {
        if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {  // false at a NUL
            counted(text);
            return;
        }
        g_autofree gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
        counted(valid);
    }

    [[nodiscard]] std::string take() { return std::move(bytes_); }

private:
    void unsigned32(std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            byte(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void counted(std::string_view text)
    {
        unsigned32(static_cast<std::uint32_t>(text.size()), 4);
        raw(text);
    }

    std::string bytes_;
};

// Reads what a Writer wrote. Anything short, out of range or not valid UTF-8
// makes the whole message undecodable: the reader fails and stays failed.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    std::uint8_t byte() { return static_cast<std::uint8_t>(unsigned32(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(unsigned32(2)); }
    std::int32_t i32() { return static_cast<std::int32_t>(unsigned32(4)); }
    std::string text() { return validText(unsigned32(4)); }

    BridgeValue value()
    {
        switch (static_cast<Tag>(byte())) {
        case Tag::None: return {};
        case Tag::Text: return BridgeValue::text(text());
        case Tag::Integer: return BridgeValue::integer(i32());
        case Tag::Boolean: return BridgeValue::boolean(flag());
        }
        failed_ = true;
        return {};
    }
    bool flag()
    {
        const std::uint8_t value = byte();
        failed_ = failed_ || value > 1;
        return value == 1;
    }
    [[nodiscard]] bool more() const { return !failed_ && !rest_.empty(); }
    // Whether everything read so far was well formed and nothing is left over.
    [[nodiscard]] bool complete() const { return !failed_ && rest_.empty(); }

private:
    std::string validText(std::size_t size)
    {
        if (failed_ || size > rest_.size() || !g_utf8_validate(rest_.data(), static_cast<gssize>(size), nullptr)) {
            failed_ = true;
            return {};
        }
        std::string text(rest_.substr(0, size));
        rest_.remove_prefix(size);
        return text;
    }

    std::uint32_t unsigned32(std::size_t size)
    {
        if (failed_ || rest_.size() < size) {
            failed_ = true;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint32_t{static_cast<unsigned char>(rest_[i])} << (8 * i);
        rest_.remove_prefix(size);
        return value;
    }

    std::string_view rest_;
    bool failed_ = false;
};

template <typename Message>
std::optional<Message> ifComplete(const Reader& reader, Message message)
{
    return reader.complete() ? std::optional<Message>(std::move(message)) : std::nullopt;
}

}  // namespace

std::string encodeRequest(const Request& request)
{
    Writer writer;
    if (const auto* invoke = std::get_if<InvokeRequest>(&request)) {
        writer.byte(static_cast<std::uint8_t>(Op::Invoke));
        writer.i32(invoke->member);
        writer.u16(invoke->flags);
        writer.byte(invoke->wantsResult ? 1 : 0);
        for (const BridgeValue& argument : invoke->arguments)
            writer.value(argument);
    } else if (const auto* lookup = std::get_if<LookupRequest>(&request)) {
        writer.byte(static_cast<std::uint8_t>(Op::Lookup));
        writer.text(lookup->name);
    } else {
        writer.byte(static_cast<std::uint8_t>(Op::Status));
    }
    return writer.take();
}

std::optional<Request> decodeRequest(std::string_view bytes)
{
    Reader reader(bytes);
    switch (static_cast<Op>(reader.byte())) {
    case Op::Lookup: {
        LookupRequest lookup{reader.text()};
        return ifComplete<Request>(reader, std::move(lookup));
    }
    case Op::Status: return ifComplete<Request>(reader, StatusRequest{});
    case Op::Invoke: {
        InvokeRequest invoke;
        invoke.member = reader.i32();
        invoke.flags = reader.u16();
        invoke.wantsResult = reader.flag();
        while (reader.more())
            invoke.arguments.push_back(reader.value());
        return ifComplete<Request>(reader, std::move(invoke));
    }
    }
    return std::nullopt;
}

std::string encodeLookupReply(const LookupReply& reply)
{
    Writer writer;
    writer.i32(reply.member);
    writer.byte(static_cast<std::uint8_t>(reply.kind));
    return writer.take();
}

std::optional<LookupReply> decodeLookupReply(std::string_view bytes)
{
    Reader reader(bytes);
    const DispId member = reader.i32();
    const std::uint8_t kind = reader.byte();
    if (kind > static_cast<std::uint8_t>(MemberKind::Both))
        return std::nullopt;
    return ifComplete(reader, LookupReply{member, static_cast<MemberKind>(kind)});
}

std::string encodeStatusReply(const StatusReply& reply)
{
    Writer writer;
    for (const std::int32_t value : reply.values)
        writer.i32(value);
    return writer.take();
}

// A snapshot of another length than this build's status list is refused.
std::optional<StatusReply> decodeStatusReply(std::string_view bytes)
{
    Reader reader(bytes);
    StatusReply reply;
    for (std::int32_t& value : reply.values)
        value = reader.i32();
    return ifComplete(reader, std::move(reply));
}

std::string encodeInvokeReply(const InvokeReply& reply)
{
    Writer writer;
    writer.value(reply.value);
    return writer.take();
}

std::optional<InvokeReply> decodeInvokeReply(std::string_view bytes)
{
    Reader reader(bytes);
    InvokeReply reply{reader.value()};
    return ifComplete(reader, std::move(reply));
}

}  // namespace quillon::bridge
