#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "settings/key_backend.h"
#include "settings/registry.h"
#include "settings/trace_sink.h"

namespace quillon::settings {

// The application's four settings under HKEY_CURRENT_USER "Software\Quillon" and
// their getters and setters for page script. Used on the UI thread only.
//
// Destruction order is fixed by the member order: the values (last first), each
// retrying a write that had failed, then the key, then the backend.
class SettingsStore {
public:
    static constexpr std::string_view kSubkey = "Software\\Quillon";
    // Stored after the first-start values, so its presence means seeding completed.
    static constexpr std::string_view kSeededMarker = "QuillonSeeded";

    // The database at defaultRegistryFile(), traced on standard output.
    SettingsStore();
    SettingsStore(std::unique_ptr<KeyBackend> backend, TraceSink trace);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Start-up: seeds the first-start values when nothing was ever seeded, then
    // reads TEAid once (which stores its default when it is empty).
    void startUp();

    [[nodiscard]] std::string getTEPhone();
    void setTEPhone(std::string_view text);
    [[nodiscard]] std::string getTENetwork();
    void setTENetwork(std::string_view text);
    // "2" when empty, stored at the same time (tried again at the end when that
    // fails); while the store is busy, "2" for this call only.
    [[nodiscard]] std::string getTEAid();
    void setTEAid(std::string_view text);
    // "0" when empty, stored at the same time (as TEAid).
    [[nodiscard]] std::string getTENVCheck();
    void setTENVCheck(std::string_view text);

    // The folder (a URI: it may be a phone's place) where the last copy of a clip
    // was saved; "" until one was. Opened on use only, so the four values above
    // keep their start-up traces.
    [[nodiscard]] std::string getSaveFolder();
    void setSaveFolder(std::string_view uri);

private:
    static std::string textOrDefault(registry::value& setting, std::string_view fallback);
    [[nodiscard]] bool neverSeeded() const;
    void seed();

    std::unique_ptr<KeyBackend> backend_;
    registry registry_;
    registry::value tePhone_;
    registry::value teNetwork_;
    registry::value teAid_;
    registry::value teNVCheck_;
};

}  // namespace quillon::settings
