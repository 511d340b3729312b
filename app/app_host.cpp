#include "app/app_host.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "app/command_line_reader.h"
#include "app/exe_dir.h"
#include "app/file_name_check.h"
#include "app/main_window.h"
#include "app/member_handlers.h"
#include "app/message_box.h"
#include "app/message_box_style.h"
#include "app/no_client_error.h"
#include "app/single_instance.h"

namespace quillon::app {

namespace {

constexpr const char* kNoAppFolderMessage =
    "Quillon cannot start: the folder it was installed in cannot be found (/proc/self/exe cannot be read), "
    "and its pages and tools live there. Start it on a system where /proc is mounted.";

}  // namespace

AppHost::AppHost() = default;

AppHost::~AppHost()
{
    if (webContext_)
        g_object_unref(webContext_);
}

void AppHost::createWebContext()
{
    // The engine keeps its web storage (HSTS data set apart) in
    // $XDG_DATA_HOME/<program> unless told otherwise: the app folder of a per-user
    // install. The pages keep their state in the settings store, so that storage
    // is a cache beside the engine's own.
    const auto storage = std::filesystem::path(g_get_user_cache_dir()) / "quillon" / "website-data";
    g_autoptr(WebKitWebsiteDataManager) data = webkit_website_data_manager_new(
        "base-data-directory", storage.c_str(), "hsts-cache-directory", storage.c_str(), nullptr);
    webContext_ = webkit_web_context_new_with_website_data_manager(data);
    const std::string extensions = (exeDir_ / "webext").string();
    webkit_web_context_set_web_extensions_directory(webContext_, extensions.c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(webContext_, g_variant_new_string(resDir_.c_str()));
    webkit_web_context_set_cache_model(webContext_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
}

std::optional<int> AppHost::claimInstance(const std::string& file)
{
    // A copy that ends between this start's registering and its call cannot take
    // the file; it has given up its name by then, so one more try makes this
    // start the running copy.
    std::string error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        instance_ = std::make_unique<SingleInstance>(exeDir_);
        if (instance_->primary()) {
            instance_->receive([this](const std::string& handed) { takeHandedOver(handed); });
            return std::nullopt;
        }
        error = instance_->handOver(file);
        if (error.empty())
            return 0;
    }
    std::fprintf(stderr, "quillon: the running Quillon did not take the file: %s\n", error.c_str());
    return 1;
}

void AppHost::takeHandedOver(const std::string& file)
{
    if (!file.empty())
        startFile_ = file;
    if (mainWindow_)
        gtk_window_present(GTK_WINDOW(mainWindow_->widget()));
}

std::string AppHost::takeStartFile() { return std::exchange(startFile_, {}); }

int AppHost::run(const std::vector<std::string>& argv)
{
    const auto folder = app::exeDir();
    if (!folder) {
        std::fprintf(stderr, "quillon: %s\n", kNoAppFolderMessage);
        runMessageBox(nullptr, kAppBoxCaption, kNoAppFolderMessage, kStyleErrorOk);
        return 1;
    }
    exeDir_ = *folder;

    startFile_ = CommandLineReader::parse(argv).value;
    // Said before anything runs, rather than failing later on a file the pages
    // cannot name; the app then starts without a file.
    if (const auto message = unusableFileNameMessage(startFile_)) {
        runMessageBox(nullptr, kAppBoxCaption, *message, kStyleWarningOk);
        startFile_.clear();
    }
    if (const auto handedOver = claimInstance(startFile_))
        return *handedOver;
    std::error_code error;
    const auto res = std::filesystem::weakly_canonical(exeDir_ / "res", error);
    resDir_ = (error ? exeDir_ / "res" : res).string();
    tempFolder_ = std::make_unique<jobs::TempFolder>(exeDir_ / "res" / "tmp", g_get_user_cache_dir(), g_get_home_dir());
    createWebContext();

    bridge_ = std::make_unique<bridge::ScriptBridge>(boundMemberTable(),
                                                     [this] { return static_cast<void*>(handlers_.get()); });

    // Started before the window's page can read them.
    settings_ = std::make_unique<settings::SettingsStore>();
    settings_->startUp();
    jobs_ = std::make_unique<JobMembers>(exeDir_ / "res", tempDir());
    mainWindow_ = std::make_unique<MainWindow>(*this, *jobs_);
    cd_ = std::make_unique<CdMembers>(jobs_->fields(), *mainWindow_);
    delivery_ = std::make_unique<DeliveryMembers>(tempDir(), *settings_, *mainWindow_);
    handlers_ =
        std::make_unique<MemberHandlers>(MemberHandlers{*this, *mainWindow_, *settings_, *jobs_, *cd_, *delivery_});
    mainWindow_->runModal();

    // Later starts run on their own from here on rather than hand their file to
    // a window that is going away.
    instance_.reset();

    // No job may touch the windows from here on, nor outlive the app's tools.
    endNoClientErrors();
    // A break is seen within about a second by every job that is not blocked in
    // a drive; a killed tool ends its job at once.
    const bool jobsEnded = jobs_->stop(std::chrono::seconds(3));

    // No main-loop iteration runs between these steps, so no page can reach the
    // bridge after it is gone.
    bridge_.reset();
    handlers_.reset();
    delivery_.reset();
    cd_.reset();
    mainWindow_.reset();
    if (!jobsEnded) {
        // A job still blocked (in a drive that does not answer) must not meet the
        // destruction of static data and the libraries' exit handlers that a
        // normal exit runs; it ends with the process.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

}  // namespace quillon::app
