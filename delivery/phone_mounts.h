#pragma once

#include <gio/gio.h>

#include <memory>
#include <string>
#include <vector>

namespace quillon::delivery {

// A phone the desktop has mounted: its name and the URI of its root.
struct PhoneMount {
    std::string name;
    std::string rootUri;
};

// The phones plugged into this computer, as the desktop shows them.
class PhoneMounts {
public:
    virtual ~PhoneMounts() = default;
    [[nodiscard]] virtual std::vector<PhoneMount> list() = 0;
};

// GIO's volume monitor: the mounts GVFS makes of phones over MTP. A camera's
// mount (gphoto2) is left out: it is no place to copy to. The monitor is not
// thread-safe: list on the UI thread only.
class VolumeMonitorMounts : public PhoneMounts {
public:
    VolumeMonitorMounts() : monitor_(g_volume_monitor_get()) {}
    ~VolumeMonitorMounts() override { g_object_unref(monitor_); }
    VolumeMonitorMounts(const VolumeMonitorMounts&) = delete;
    VolumeMonitorMounts& operator=(const VolumeMonitorMounts&) = delete;
    [[nodiscard]] std::vector<PhoneMount> list() override;

private:
    GVolumeMonitor* monitor_;
};

}  // namespace quillon::delivery
