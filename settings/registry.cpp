#include "settings/registry.h"

namespace quillon::settings {
namespace {

std::string_view outcomeText(bool ok) { return ok ? "OK\n" : "Failed!\n"; }

}  // namespace

registry::registry(KeyBackend& backend, std::string_view subkey, int selector, TraceSink trace)
    : trace_(std::move(trace))
{
    const std::string path(subkey);
    std::string line = formatTrace("REG_TRACE:\tconstructing registry for \"%s\" ... ", path.c_str());
    key_ = backend.open(rootKeyFromSelector(selector), path);
    line += outcomeText(key_ != nullptr);
    trace_(line);
}

registry::~registry()
{
    trace_("REG_TRACE:\tdestructing registry\n");
    key_.reset();
}

registry::value::value(const registry& owner, std::string_view name)
    : key_(owner.key_), name_(name), trace_(owner.trace_)
{
    trace_(formatTrace("REG_TRACE:\tconstructed object registry::value with name \"%s\"\n", name_.c_str()));
}

registry::value::~value()
{
    if (dirty_)
        write();
    trace_(formatTrace("REG_TRACE:\tdestructed object registry::value with name \"%s\"\n", name_.c_str()));
}

void registry::value::read()
{
    if (loaded_)
        return;
    std::string line = formatTrace("REG_TRACE:\treading value for key \"%s\" from registry ... ", name_.c_str());
    ReadOutcome outcome;
    if (const std::shared_ptr<OpenKey> key = key_.lock())
        outcome = key->read(name_, kReadCapacity);
    lastRead_ = outcome.status;
    if (outcome.found()) {
        line += formatTrace("OK (read data size is %i bytes)\n", static_cast<int>(outcome.bytes.size()));
        data_ = std::move(outcome.bytes);
        loaded_ = true;
        dirty_ = false;
    } else {
        line += outcomeText(false);
    }
    trace_(line);
}

std::string registry::value::text()
{
    read();
    return std::string(data_.c_str());
}

void registry::value::assign(std::string_view text)
{
    // Narrow text ends at its first zero byte, as it would in a C string.
    const std::string_view narrow = text.substr(0, text.find('\0'));
    if (narrow.size() > kReadCapacity) {
        traceWrite(narrow.size(), false);
        return;
    }
    data_ = std::string(narrow);
    loaded_ = true;
    dirty_ = true;
    write();
}

void registry::value::write()
{
    bool stored = false;
    if (const std::shared_ptr<OpenKey> key = key_.lock())
        stored = key->write(name_, data_, kValueTypeBinary);
    if (stored) {
        dirty_ = false;
        loaded_ = true;
    }
    traceWrite(data_.size(), stored);
}

void registry::value::traceWrite(std::size_t size, bool stored) const
{
    trace_(formatTrace("REG_TRACE:\twriting current value of key \"%s\" (data size is %i bytes) to registry ... ",
                       name_.c_str(), static_cast<int>(size)) +
           std::string(outcomeText(stored)));
}

}  // namespace quillon::settings
