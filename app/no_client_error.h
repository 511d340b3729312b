#pragma once

namespace quillon::app {

// Job thread: shows the "Fatal Error" box for a request that found no HTTP client,
// on the UI thread, and returns once the user has closed it.
void showNoClientError();

}  // namespace quillon::app
