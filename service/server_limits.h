#pragma once

#include <httplib.h>

namespace quillon::service {

// Limits that keep slow or idle clients from holding every worker: a read that
// waits more than two seconds (in a request head or a body) ends its connection,
// a kept-alive connection serves a few requests and idles briefly, and there are
// workers enough for many such clients at once. Call before listening.
void limitConnections(httplib::Server& server);

}  // namespace quillon::service
