#include "delivery/clip_copy.h"

#include <optional>
#include <utility>

#include "delivery/copy_failure.h"

namespace quillon::delivery {

namespace {

using Stamp = std::pair<goffset, guint64>;

std::string failed(const GError* error)
{
    return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) ? std::string()
                                                                    : "failed:::" + copyFailureWords(error);
}

std::string saved(GFile* destination)
{
    g_autofree gchar* where = g_file_get_parse_name(destination);
    return std::string("saved:::") + where;
}

// Clean-up must happen even when the copy was cancelled, so it takes no cancellable.
void removeQuietly(GFile* file) { (void)g_file_delete(file, nullptr, nullptr); }

// A hidden name beside the destination, unlikely to be taken.
GFile* partBeside(GFile* destination)
{
    g_autoptr(GFile) folder = g_file_get_parent(destination);
    g_autofree gchar* name = g_file_get_basename(destination);
    g_autofree gchar* part = g_strdup_printf(".%s.%08x.part", name, g_random_int());
    return folder ? g_file_get_child(folder, part) : nullptr;
}

std::optional<Stamp> stampOf(GFile* file)
{
    g_autoptr(GFileInfo) info =
        g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_SIZE "," G_FILE_ATTRIBUTE_TIME_MODIFIED,
                          G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, nullptr);
    if (!info)
        return std::nullopt;
    return Stamp{g_file_info_get_size(info), g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_TIME_MODIFIED)};
}

// Nothing is at the destination: whatever is there after a failure is this copy's
// part, unless the failure was that someone else's file appeared meanwhile.
std::string copyToNewFile(GFile* source, GFile* destination, GCancellable* cancellable)
{
    g_autoptr(GError) error = nullptr;
    if (g_file_copy(source, destination, G_FILE_COPY_NONE, cancellable, nullptr, nullptr, &error))
        return saved(destination);
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_EXISTS))
        removeQuietly(destination);
    return failed(error);
}

// The old file stays whole until the new one is: the copy goes to a hidden part
// beside it, which then takes its place. Where the backend cannot rename (MTP
// among them), g_file_move copies the part over the old file and deletes it; if
// that fails after it began writing (the file's size or time changed), the
// destination is a broken mix and goes too, as the user agreed to lose the old file.
std::string replaceFile(GFile* source, GFile* destination, GCancellable* cancellable)
{
    g_autoptr(GFile) part = partBeside(destination);
    if (!part)
        return copyToNewFile(source, destination, cancellable);
    g_autoptr(GError) error = nullptr;
    if (!g_file_copy(source, part, G_FILE_COPY_NONE, cancellable, nullptr, nullptr, &error)) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_EXISTS))
            removeQuietly(part);
        return failed(error);
    }
    const std::optional<Stamp> before = stampOf(destination);
    if (g_file_move(part, destination, G_FILE_COPY_OVERWRITE, cancellable, nullptr, nullptr, &error))
        return saved(destination);
    removeQuietly(part);
    if (const std::optional<Stamp> after = stampOf(destination); after && after != before)
        removeQuietly(destination);
    return failed(error);
}

}  // namespace

std::string copyClip(GFile* source, GFile* destination, bool replace, GCancellable* cancellable)
{
    return replace ? replaceFile(source, destination, cancellable) : copyToNewFile(source, destination, cancellable);
}

}  // namespace quillon::delivery
