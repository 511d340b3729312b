#include "cd/listing_calls.h"

#include <system_error>
#include <thread>

#include "cd/cd_listing.h"

namespace quillon::cd {
namespace {

// The drive list's question number lies outside the 32-bit drive indexes.
constexpr std::int64_t kDrivesQuestion = std::int64_t{1} << 40;

}  // namespace

ListingCalls::ListingCalls(std::shared_ptr<const CdAccess> access, std::shared_ptr<jobs::ActiveJobs> active,
                           std::function<void()> wake)
    : access_(std::move(access)), active_(std::move(active)), wake_(std::move(wake))
{}

std::shared_future<std::string> ListingCalls::drivesInfo()
{
    return ask(kDrivesQuestion, [](const CdAccess& access) { return getDrivesInfo(access); });
}

std::shared_future<std::string> ListingCalls::tracksInfo(std::int32_t drive)
{
    return ask(drive, [drive](const CdAccess& access) { return getTracksInfo(access, drive); });
}

std::shared_future<std::string> ListingCalls::ask(std::int64_t question,
                                                  std::function<std::string(const CdAccess&)> listing)
{
    std::lock_guard lock(running_->mutex);
    if (auto it = running_->answers.find(question); it != running_->answers.end())
        return it->second;

    auto promise = std::make_shared<std::promise<std::string>>();
    std::shared_future<std::string> answer = promise->get_future().share();
    // The thread holds what it uses, so it may outlive this object.
    auto work = [running = running_, access = access_, active = active_, wake = wake_, question,
                 listing = std::move(listing), promise] {
        std::string text = listing(*access);
        {
            std::lock_guard lock(running->mutex);
            running->answers.erase(question);
        }
        promise->set_value(std::move(text));
        if (wake)
            wake();
        active->leave();
    };
    try {
        running_->answers.emplace(question, answer);
        active_->enter();
        std::thread(work).detach();
    } catch (const std::system_error&) {
        // No thread to be had: answer here, as the page asked synchronously anyway.
        active_->leave();
        running_->answers.erase(question);
        promise->set_value(listing(*access_));
    }
    return answer;
}

}  // namespace quillon::cd
