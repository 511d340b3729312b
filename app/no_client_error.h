#pragma once

namespace quillon::app {

// Job thread: shows the "Fatal Error" box for a request that found no HTTP client,
// on the UI thread, and returns once the user has closed it, or at once when the
// UI has ended.
void showNoClientError();

// UI thread, once its main loop has ended: no box is shown from now on, and the
// jobs waiting for one go on.
void endNoClientErrors();

}  // namespace quillon::app
