#include "delivery/phone_copy.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "base/clip_kinds.h"
#include "delivery/clip_copy.h"
#include "delivery/clip_file_name.h"
#include "delivery/copy_failure.h"
#include "delivery/own_clip.h"
#include "delivery/phone_listing.h"

namespace quillon::delivery {

namespace {

bool isFolder(GFile* file, GCancellable* cancellable)
{
    return g_file_query_file_type(file, G_FILE_QUERY_INFO_NONE, cancellable) == G_FILE_TYPE_DIRECTORY;
}

// The folder itself if it is there or can be made, else nullptr with the error.
GFile* madeFolder(GFile* parent, const std::string& name, GCancellable* cancellable, GError** error)
{
    g_autoptr(GFile) folder = g_file_get_child(parent, name.c_str());
    if (isFolder(folder, cancellable) || g_file_make_directory(folder, cancellable, error))
        return static_cast<GFile*>(g_steal_pointer(&folder));
    return nullptr;
}

// The kind's folder on the phone, made if missing. A phone over MTP shows its
// storages at the top and takes no folder beside them: the folder then goes
// into the first storage that takes it.
GFile* phoneFolder(GFile* root, const std::string& name, GCancellable* cancellable, GError** error)
{
    if (GFile* folder = madeFolder(root, name, cancellable, error))
        return folder;
    g_autoptr(GFileEnumerator) storages =
        g_file_enumerate_children(root, G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TYPE,
                                  G_FILE_QUERY_INFO_NONE, cancellable, nullptr);
    for (GFileInfo* info = nullptr;
         storages && g_file_enumerator_iterate(storages, &info, nullptr, cancellable, nullptr) && info;) {
        if (g_file_info_get_file_type(info) != G_FILE_TYPE_DIRECTORY)
            continue;
        g_autoptr(GFile) storage = g_file_get_child(root, g_file_info_get_name(info));
        if (GFile* folder = madeFolder(storage, name, cancellable, nullptr)) {
            g_clear_error(error);
            return folder;
        }
    }
    return nullptr;
}

// The name itself, else "<name> (2).mp3" and on: a file already on the phone is never replaced.
GFile* freeName(GFile* folder, const std::string& name, GCancellable* cancellable)
{
    GFile* file = g_file_get_child(folder, name.c_str());
    const std::string stem = name.substr(0, name.size() - 4), extension = name.substr(name.size() - 4);
    for (int n = 2; n < 100 && g_file_query_exists(file, cancellable); ++n) {
        g_object_unref(file);
        file = g_file_get_child(folder, (stem + " (" + std::to_string(n) + ")" + extension).c_str());
    }
    return file;
}

std::string copyToPhone(const std::string& rootUri, const std::string& clipPath, const std::string& folderName,
                        const std::string& fileName, GCancellable* cancellable)
{
    g_autoptr(GFile) root = g_file_new_for_uri(rootUri.c_str());
    g_autoptr(GFile) source = g_file_new_for_path(clipPath.c_str());
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) folder = phoneFolder(root, folderName, cancellable, &error);
    if (!folder)
        return "failed:::" + copyFailureWords(error);
    g_autoptr(GFile) destination = freeName(folder, fileName, cancellable);
    std::string result = copyClip(source, destination, false, cancellable);
    return result.empty() ? "failed:::The copy was stopped." : result;
}

}  // namespace

PhoneCopy::PhoneCopy(std::filesystem::path tempDir, MountsSource mounts)
    : tempDir_(std::move(tempDir)), mountsSource_(std::move(mounts))
{}

PhoneCopy::~PhoneCopy()
{
    if (job_)
        g_cancellable_cancel(job_->cancellable);
}

std::string PhoneCopy::find()
{
    if (!mounts_)
        mounts_ = mountsSource_();
    phones_ = mounts_->list();
    std::vector<ListedPhone> listed;
    for (const PhoneMount& phone : phones_)
        listed.push_back({phone.rootUri, phone.name});
    return phoneListing(listed);
}

bool PhoneCopy::copy(const std::string& phoneId, const std::string& clipPath, const std::string& downloadName,
                     const std::string& kind)
{
    const auto phone = std::ranges::find(phones_, phoneId, &PhoneMount::rootUri);
    if (phone == phones_.end() || status() == kCopying || !isOwnClip(clipPath, tempDir_))
        return false;
    job_ = std::make_shared<Job>();
    std::thread([job = job_, root = phone->rootUri, clipPath,
                 folder = std::string(base::clipKindOrFirst(kind).phoneFolder), name = clipFileName(downloadName)] {
        std::string result = copyToPhone(root, clipPath, folder, name, job->cancellable);
        const bool copied = result.starts_with("saved:::");
        {
            const std::lock_guard lock(job->mutex);
            job->response = std::move(result);
        }
        job->status = copied ? kCopied : kFailed;
    }).detach();
    return true;
}

std::string PhoneCopy::response() const
{
    if (!job_ || job_->status == kCopying)
        return {};
    const std::lock_guard lock(job_->mutex);
    return job_->response;
}

}  // namespace quillon::delivery
