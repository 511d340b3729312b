#pragma once

#include <gio/gio.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace quillon::app {

// One running copy per app folder and session: a later start hands its file to
// the running copy and ends, so the user works in one window. Copies in different
// folders never meet and stay independent. Without a session bus every start is
// its own instance; each copy's jobs::TempFolder keeps their clips apart.
class SingleInstance {
public:
    // Receives what a later start hands over, on the UI thread: its file as an
    // absolute path, or an empty text when it was started without one.
    using Receiver = std::function<void(const std::string& file)>;

    // Registers this start for the app in appFolder on the session bus.
    explicit SingleInstance(const std::filesystem::path& appFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this start is the running copy (also when there is no bus).
    [[nodiscard]] bool primary() const { return primary_; }

    // Primary: hand-overs from later starts go to receiver from now on.
    void receive(Receiver receiver) { receiver_ = std::move(receiver); }

    // Not primary: gives file to the running copy and waits until it has taken it.
    // A relative path is made absolute here, since the running copy has another
    // working folder. A name that is not UTF-8 is not handed over (the running
    // copy's pages could not use it). Returns an error text, empty on success.
    [[nodiscard]] std::string handOver(const std::string& file) const;

private:
    static void onHandOver(GSimpleAction*, GVariant* parameter, SingleInstance* self);

    std::unique_ptr<GApplication, decltype(&g_object_unref)> application_{nullptr, g_object_unref};
    bool primary_ = true;
    Receiver receiver_;
};

}  // namespace quillon::app
