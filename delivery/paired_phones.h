#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "delivery/staged_clip.h"

namespace quillon::delivery {

// The phones paired with this computer through KDE Connect or GSConnect, and
// sending a clip to one of them. Every call to those services goes over the
// session bus without waiting, each with a time-out, so the window never stalls;
// pages poll the statuses. Used on the UI thread only.
class PairedPhones {
public:
    static constexpr std::int32_t kDone = 100;
    // Send status: the phone is no longer reachable or the call failed.
    static constexpr std::int32_t kUnreachable = 201;
    // Send status: no answer within the time-out.
    static constexpr std::int32_t kNoAnswer = 202;
    static constexpr std::chrono::milliseconds kCallTimeout{2000};

    explicit PairedPhones(std::filesystem::path tempDir, std::chrono::milliseconds callTimeout = kCallTimeout);
    ~PairedPhones();
    PairedPhones(const PairedPhones&) = delete;
    PairedPhones& operator=(const PairedPhones&) = delete;

    // Starts listing the paired, reachable phones, dropping a listing still running.
    bool find();
    // 0 never asked, 1 asking, 100 done (the list may be empty).
    [[nodiscard]] std::int32_t findStatus() const { return findStatus_; }
    // Once done: "id:::name:::id:::name…", "" when there is none.
    [[nodiscard]] std::string listing() const;

    // Starts sharing the clip's file:// URL with the phone of that id in the last
    // listing, under name when one is given (see clipFileName). False, starting
    // nothing, for any other id, or a path that is not one of the app's clips.
    [[nodiscard]] bool send(const std::string& phoneId, const std::string& clipPath, const std::string& name = {});
    // 0 never sent, 1 sending, 100 the phone's service took it, 201 or 202 above.
    [[nodiscard]] std::int32_t sendStatus() const { return sendStatus_; }

private:
    struct Phone {
        std::string id;  // "kdeconnect/<device>" or "gsconnect/<device>"
        std::string name;
        std::string busName;
        std::string path;
        bool gsconnect;
    };

    void askKdeConnect(std::size_t nameIndex);
    void nameKdeDevice(const std::string& busName, const std::string& device);
    void askGsConnect();
    void answered();
    static void restart(GCancellable*& cancellable);

    std::filesystem::path tempDir_;
    std::chrono::milliseconds timeout_;
    GDBusConnection* bus_ = nullptr;
    GCancellable* finding_ = nullptr;
    GCancellable* sending_ = nullptr;
    std::int32_t findStatus_ = 0;
    std::int32_t sendStatus_ = 0;
    // The services still to answer the running listing.
    int pending_ = 0;
    std::vector<Phone> phones_;
    // The clip under the name it was last sent as.
    std::optional<StagedClip> shared_;
};

}  // namespace quillon::delivery
