#include <gtk/gtk.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "app/app_host.h"

namespace {

// As browsers do: the phones' connections, the page processes' channels and the
// tools' pipes all take descriptors, and the usual soft limit of 1,024 is far
// below what the system allows.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    raiseDescriptorLimit();
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs("quillon: cannot open a display. Start it inside a desktop session, or under xvfb-run.\n", stderr);
        return 1;
    }
    std::vector<std::string> arguments(argv, argv + argc);
    quillon::app::AppHost app;
    return app.run(arguments);
}
