#pragma once

#include <webkit2/webkit2.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/script_bridge.h"
#include "jobs/temp_folder.h"
#include "settings/settings_store.h"

namespace quillon::app {

class CdMembers;
class DeliveryMembers;
class JobMembers;
class MainWindow;
class MemberHandlers;
class SingleInstance;

// The application object: reads the command line, owns the one script bridge and
// the main window, and runs the window until it ends. A start from a folder whose
// copy is already running hands its file to that copy instead.
class AppHost {
public:
    AppHost();
    ~AppHost();

    // Runs the whole application; returns the process exit code.
    int run(const std::vector<std::string>& argv);

    [[nodiscard]] bridge::ScriptBridge& bridge() { return *bridge_; }
    [[nodiscard]] MainWindow* mainWindow() { return mainWindow_.get(); }
    [[nodiscard]] WebKitWebContext* webContext() { return webContext_; }
    [[nodiscard]] const std::filesystem::path& exeDir() const { return exeDir_; }
    [[nodiscard]] const std::string& resDir() const { return resDir_; }
    // This copy's temporary folder, told to the pages and used by the jobs.
    [[nodiscard]] const std::filesystem::path& tempDir() const { return tempFolder_->path(); }
    // The file the app was started with, or one a later start handed over, handed
    // out once: later calls give "" until a new one comes.
    [[nodiscard]] std::string takeStartFile();

private:
    // The exit code when a running copy took the file, nothing when this start
    // runs the window itself.
    std::optional<int> claimInstance(const std::string& file);
    // A later start's file: the page takes it through takeStartFile.
    void takeHandedOver(const std::string& file);
    void createWebContext();

    std::filesystem::path exeDir_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<jobs::TempFolder> tempFolder_;
    std::string startFile_;
    std::string resDir_;
    WebKitWebContext* webContext_ = nullptr;
    std::unique_ptr<bridge::ScriptBridge> bridge_;
    // What the members act on, each domain's own; the settings close after the window.
    std::unique_ptr<settings::SettingsStore> settings_;
    std::unique_ptr<JobMembers> jobs_;
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<CdMembers> cd_;
    std::unique_ptr<DeliveryMembers> delivery_;
    std::unique_ptr<MemberHandlers> handlers_;
};

}  // namespace quillon::app
