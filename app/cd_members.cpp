#include "app/cd_members.h"

#include "app/main_window.h"
#include "app/ui_wait.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"

namespace quillon::app {

CdMembers::CdMembers(jobs::SharedJobFields fields, const MainWindow& window)
    : fields_(std::move(fields)), window_(window), access_(cd::makeSystemCdAccess()),
      listings_(access_, std::shared_ptr<jobs::ActiveJobs>(fields_, &fields_->active),
                [] { g_main_context_wakeup(nullptr); })
{}

bool CdMembers::rip(const std::string& drive, const std::string& track, const std::string& wavFile)
{
    return cd::startRip(fields_, access_, drive, track, wavFile);
}

std::string CdMembers::drivesInfo() { return awaitServingUi(listings_.drivesInfo(), window_.loop()); }

std::string CdMembers::tracksInfo(std::int32_t drive)
{
    return awaitServingUi(listings_.tracksInfo(drive), window_.loop());
}

}  // namespace quillon::app
