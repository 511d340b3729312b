#pragma once

#include <webkit2/webkit2.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/script_bridge.h"
#include "jobs/temp_folder.h"

namespace quillon::app {

class MainWindow;
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

private:
    // The exit code when a running copy took the file, nothing when this start
    // runs the window itself.
    std::optional<int> claimInstance(const std::string& file);
    // A later start's file: the page reads it through DTE_clFileName.
    void takeHandedOver(const std::string& file);
    void createWebContext();

    std::filesystem::path exeDir_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<jobs::TempFolder> tempFolder_;
    std::string startFile_;
    std::string resDir_;
    WebKitWebContext* webContext_ = nullptr;
    std::unique_ptr<bridge::ScriptBridge> bridge_;
    std::unique_ptr<MainWindow> mainWindow_;
};

}  // namespace quillon::app
