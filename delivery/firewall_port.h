#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillon::delivery {

// Whether this computer's firewall lets phones reach the port a clip is served
// on, and opening exactly that port for as long as serving lasts. firewalld is
// asked over the system bus without waiting, each call with a time-out; where it
// does not run, ufw's configuration says whether that firewall is on. Used on the
// UI thread only.
class FirewallPort {
public:
    // DTE_fwStatus.
    static constexpr std::int32_t kIdle = 0;
    static constexpr std::int32_t kChecking = 1;
    // firewalld stops the port; allow() may open it.
    static constexpr std::int32_t kBlocked = 2;
    static constexpr std::int32_t kOpening = 3;
    // ufw is on: response() is the command that lets phones in.
    static constexpr std::int32_t kUfwOn = 4;
    // Nothing here stops phones (no firewall, or it lets the port in).
    static constexpr std::int32_t kOpen = 100;
    static constexpr std::int32_t kOpened = 101;
    // The opening was refused (no password given, no permission).
    static constexpr std::int32_t kRefused = 201;
    // The opening failed or had no answer in time.
    static constexpr std::int32_t kFailed = 202;

    static constexpr std::chrono::milliseconds kCallTimeout{5000};
    // Long enough for the user to type a password when firewalld asks for one.
    static constexpr std::chrono::milliseconds kOpenTimeout{std::chrono::minutes(2)};

    explicit FirewallPort(std::filesystem::path ufwConfiguration = "/etc/ufw/ufw.conf",
                          std::chrono::milliseconds callTimeout = kCallTimeout);
    // Closes a port this object opened, waiting for firewalld at most callTimeout.
    // An opening still waiting for the user's password is left to its time-out.
    ~FirewallPort();
    FirewallPort(const FirewallPort&) = delete;
    FirewallPort& operator=(const FirewallPort&) = delete;

    // Starts asking whether phones reach port on the network interface, for a
    // serving that ends at servingEnds; drops an earlier question.
    void check(std::uint16_t port, const std::string& interface, std::chrono::steady_clock::time_point servingEnds);
    // While blocked: adds the TCP port to the zone's runtime configuration until
    // serving ends. False, starting nothing, otherwise.
    [[nodiscard]] bool allow();
    // Serving has ended: the port this object opened is closed again; status 0.
    void close();

    [[nodiscard]] std::int32_t status() const { return status_; }
    // The ufw command while status is kUfwOn; "" otherwise.
    [[nodiscard]] std::string response() const { return response_; }

private:
    void askZone();
    void askPorts();
    void askServices();
    void askService(std::vector<std::string> services, std::size_t index);
    void noFirewalld();

    std::filesystem::path ufwConfiguration_;
    std::chrono::milliseconds timeout_;
    GDBusConnection* bus_ = nullptr;
    GCancellable* asking_ = nullptr;
    // Only the object's end cancels an opening: the user may be typing a password.
    GCancellable* opening_ = nullptr;
    // Counts the servings, so that an opening answered late knows whether its serving is over.
    std::uint64_t serving_ = 0;
    std::int32_t status_ = kIdle;
    std::string response_;
    std::uint16_t port_ = 0;
    std::string interface_;
    std::string zone_;
    std::chrono::steady_clock::time_point servingEnds_;
    // The zone this object added the port to, until it is removed again.
    std::string openedZone_;
};

}  // namespace quillon::delivery
