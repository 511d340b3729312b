#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cd/cd_access.h"
#include "cd/listing_calls.h"
#include "jobs/job_fields.h"

namespace quillon::app {

class MainWindow;

// The CD drives: their listings, and ripping a track as a job.
class CdMembers {
public:
    CdMembers(jobs::SharedJobFields fields, const MainWindow& window);

    [[nodiscard]] bool rip(const std::string& drive, const std::string& track, const std::string& wavFile);
    [[nodiscard]] std::int32_t ripStatus() const { return fields_->ripStatus.value(); }
    // A drive can take seconds to answer (spinning up after a disc goes in): the page
    // waits for its answer as for a modal dialog while the window keeps painting.
    [[nodiscard]] std::string drivesInfo();
    [[nodiscard]] std::string tracksInfo(std::int32_t drive);

private:
    jobs::SharedJobFields fields_;
    const MainWindow& window_;
    std::shared_ptr<cd::CdAccess> access_;
    cd::ListingCalls listings_;
};

}  // namespace quillon::app
