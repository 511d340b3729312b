#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "app/app_host.h"

int main(int argc, char** argv)
{
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs("quillon: cannot open a display. Start it inside a desktop session, or under xvfb-run.\n", stderr);
        return 1;
    }
    std::vector<std::string> arguments(argv, argv + argc);
    quillon::app::AppHost app;
    return app.run(arguments);
}
