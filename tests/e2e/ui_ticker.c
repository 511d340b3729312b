/* Loaded into the app with LD_PRELOAD: a timer on its UI thread's main context writes "QTICK <wall-clock ms>"
   every 50 ms to standard error, so a test can see whether that thread keeps serving its loop. */
#include <glib.h>
#include <stdio.h>
#include <stdlib.h>

static gboolean tick(G_GNUC_UNUSED gpointer unused)
{
    fprintf(stderr, "QTICK %lld\n", (long long)(g_get_real_time() / 1000));
    return G_SOURCE_CONTINUE;
}

__attribute__((constructor)) static void startTicking(void)
{
    /* Only the app itself: not the web processes or the tools it starts. */
    unsetenv("LD_PRELOAD");
    g_timeout_add(50, tick, NULL);
}
