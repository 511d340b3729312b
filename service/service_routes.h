#pragma once

#include <httplib.h>

#include <string>

#include "service/clip_service.h"

namespace quillon::service {

// Puts the service's endpoints on server. fallbackAuthority ("host:port") names
// this service in download addresses when a request carries no usable Host header.
void installRoutes(httplib::Server& server, ClipService& clips, std::string fallbackAuthority);

}  // namespace quillon::service
