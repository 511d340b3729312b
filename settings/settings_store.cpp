#include "settings/settings_store.h"

#include "settings/registry_file.h"
#include "settings/sqlite_key_backend.h"

namespace quillon::settings {
namespace {

constexpr int kCurrentUser = static_cast<int>(RootKey::CurrentUser);
constexpr std::string_view kSaveFolder = "SaveFolder";

}  // namespace

SettingsStore::SettingsStore() : SettingsStore(std::make_unique<SqliteKeyBackend>(defaultRegistryFile()), stdoutTrace())
{}

SettingsStore::SettingsStore(std::unique_ptr<KeyBackend> backend, TraceSink trace)
    : backend_(std::move(backend)), registry_(*backend_, kSubkey, kCurrentUser, std::move(trace)),
      tePhone_(registry_, "TEPhone"), teNetwork_(registry_, "TENetwork"), teAid_(registry_, "TEAid"),
      teNVCheck_(registry_, "TENVCheck")
{}

void SettingsStore::startUp()
{
    if (neverSeeded())
        seed();
    (void)getTEAid();
}

// Only a marker known to be absent means a first start: a store that cannot be read
// right now (unopened, or busy past its timeout) must not have its settings
// overwritten with the first-start values.
bool SettingsStore::neverSeeded() const
{
    const std::shared_ptr<OpenKey> key = registry_.key().lock();
    return key && key->read(kSeededMarker, registry::value::kReadCapacity).status == ReadOutcome::Status::Absent;
}

void SettingsStore::seed()
{
    tePhone_.assign("Unknown");
    teNetwork_.assign("Unknown");
    teAid_.assign("2");
    // Marked even when one of those writes failed: that value is still retried when
    // the store closes, and seeding again next start could overwrite whatever the
    // pages store in between. A failed marker write means seeding once more.
    if (const std::shared_ptr<OpenKey> key = registry_.key().lock())
        (void)key->write(kSeededMarker, "1", kValueTypeBinary);
}

std::string SettingsStore::textOrDefault(registry::value& setting, std::string_view fallback)
{
    std::string text = setting.text();
    if (!text.empty())
        return text;
    // A busy store may hold the user's own value: the default then serves this
    // call only and overwrites nothing.
    if (setting.loaded() || setting.mayTakeDefault())
        setting.assign(fallback);
    return std::string(fallback);
}

std::string SettingsStore::getTEPhone() { return tePhone_.text(); }

void SettingsStore::setTEPhone(std::string_view text) { tePhone_.assign(text); }

std::string SettingsStore::getTENetwork() { return teNetwork_.text(); }

void SettingsStore::setTENetwork(std::string_view text) { teNetwork_.assign(text); }

std::string SettingsStore::getTEAid() { return textOrDefault(teAid_, "2"); }

void SettingsStore::setTEAid(std::string_view text) { teAid_.assign(text); }

std::string SettingsStore::getTENVCheck() { return textOrDefault(teNVCheck_, "0"); }

void SettingsStore::setTENVCheck(std::string_view text) { teNVCheck_.assign(text); }

std::string SettingsStore::getSaveFolder() { return registry::value(registry_, kSaveFolder).text(); }

void SettingsStore::setSaveFolder(std::string_view uri) { registry::value(registry_, kSaveFolder).assign(uri); }

}  // namespace quillon::settings
