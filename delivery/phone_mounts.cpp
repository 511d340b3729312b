#include "delivery/phone_mounts.h"

namespace quillon::delivery {

std::vector<PhoneMount> VolumeMonitorMounts::list()
{
    std::vector<PhoneMount> phones;
    GList* mounts = g_volume_monitor_get_mounts(monitor_);
    for (GList* item = mounts; item; item = item->next) {
        GMount* mount = G_MOUNT(item->data);
        g_autoptr(GFile) root = g_mount_get_root(mount);
        if (!g_file_has_uri_scheme(root, "mtp"))
            continue;
        g_autofree gchar* name = g_mount_get_name(mount);
        g_autofree gchar* uri = g_file_get_uri(root);
        phones.push_back({name ? name : "phone", uri});
    }
    g_list_free_full(mounts, g_object_unref);
    return phones;
}

}  // namespace quillon::delivery
