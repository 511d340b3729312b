#include "app/app_host.h"

#include <gtk/gtk.h>

#include "app/command_line_reader.h"
#include "app/exe_dir.h"
#include "app/main_window.h"

namespace quillon::app {

AppHost::AppHost() = default;

AppHost::~AppHost()
{
    if (webContext_)
        g_object_unref(webContext_);
}

void AppHost::createWebContext()
{
    webContext_ = webkit_web_context_new();
    const std::string extensions = (exeDir_ / "webext").string();
    webkit_web_context_set_web_extensions_directory(webContext_, extensions.c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(webContext_, g_variant_new_string(resDir_.c_str()));
    webkit_web_context_set_cache_model(webContext_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
}

int AppHost::run(const std::vector<std::string>& argv)
{
    dialogOpen = 0;
    const auto commandLine = CommandLineReader::parse(CommandLineReader::joinArguments(argv));

    exeDir_ = app::exeDir();
    std::error_code error;
    const auto res = std::filesystem::weakly_canonical(exeDir_ / "res", error);
    resDir_ = (error ? exeDir_ / "res" : res).string();
    createWebContext();

    bridge_ = std::make_unique<bridge::ScriptBridge>([this] { return static_cast<bridge::BridgeTarget*>(mainWindow_.get()); });

    mainWindow_ = std::make_unique<MainWindow>(*this);
    mainWindow_->commandLineFile() = commandLine.value;
    mainWindow_->runModal();

    // No main-loop iteration runs between these steps, so no page can reach the
    // bridge after it is gone.
    bridge_.reset();
    mainWindow_.reset();
    return 0;
}

}  // namespace quillon::app
