// axe-core, at a pinned version, run inside the real app on every page and on
// every step of the start page: none may report a violation. The dialogs are
// reached from the header links as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"
#include "tests/e2e/reference_service.h"

using namespace quillon::test;

namespace {

constexpr const char* kAxeVersion = "4.10.2";

// The pinned axe-core script, fetched once with npm into the build folder.
std::optional<std::filesystem::path> axeScript()
{
    const auto dir = std::filesystem::path(QUILLON_APP_DIR).parent_path() / ("axe-core-" + std::string(kAxeVersion));
    const auto script = dir / "package" / "axe.min.js";
    if (std::filesystem::exists(script))
        return script;
    std::filesystem::create_directories(dir);
    const auto tarball = dir / ("axe-core-" + std::string(kAxeVersion) + ".tgz");
    if (runCommand(
            {"npm", "pack", "--silent", "axe-core@" + std::string(kAxeVersion), "--pack-destination", dir.string()})
                .exitCode != 0 ||
        runCommand({"tar", "-xzf", tarball.string(), "-C", dir.string(), "package/axe.min.js"}).exitCode != 0)
        return std::nullopt;
    return script;
}

// Runs axe when a page has loaded and for each kind of state line it logs (its
// first word), once the page has drawn what that state shows, and reports
// "axe <title>/<state> <count> <rule>(<impact>)@<targets>; ...".
constexpr const char* kProbe = R"(
(() => {
  const seen = new Set();
  let queue = Promise.resolve();
  const check = (text) => {
    const kind = document.title + "/" + text.split(" ")[0];
    if (seen.has(kind)) return;
    seen.add(kind);
    queue = queue.then(() => new Promise((go) => requestAnimationFrame(() => go())))
      .then(() => axe.run(document, { resultTypes: ["violations"] }))
      .then((result) => console.log("QTEST axe " + kind + " " + result.violations.length + " " +
        result.violations.map((v) => v.id + "(" + v.impact + ")@" +
          v.nodes.map((n) => n.target.join(" ")).join("|")).join("; ")));
  };
  const state = Quillon.state;
  Quillon.state = (text) => { state(text); check(text); };
  window.addEventListener("load", () => check("load"));
})();
)";

// Every page of the copy loads axe and the probe after its own scripts.
void instrumentPages(const TestApp& app, const std::filesystem::path& axe)
{
    std::filesystem::copy_file(axe, app.res() / "axe.min.js");
    writeFile(app.res() / "axe_probe.js", kProbe);
    for (const auto& entry : std::filesystem::directory_iterator(app.res())) {
        if (entry.path().extension() != ".html")
            continue;
        std::string html = readFile(entry.path());
        const auto scripts = html.find("<script src=\"quillon.js\"></script>");
        ASSERT_NE(scripts, std::string::npos) << entry.path();
        html.insert(scripts + std::string("<script src=\"quillon.js\"></script>").size(),
                    "<script src=\"axe.min.js\"></script><script src=\"axe_probe.js\"></script>");
        writeFile(entry.path(), html);
    }
}

class PagesAccessTest : public PagesTest {};

}  // namespace

TEST_F(PagesAccessTest, EveryPageAndStepPassesAxe)
{
    const auto axe = axeScript();
    if (!axe)
        GTEST_SKIP() << "axe-core " << kAxeVersion << " could not be fetched with npm";
    instrumentPages(app, *axe);
    std::vector<std::string> reports;

    // The four dialogs from the header links, walking back from "Choose a file…",
    // each from a fresh start where the focus is known; the help dialogs close
    // with their button, which has the focus.
    const std::vector<std::tuple<int, std::string, std::string>> dialogs = {
        {2, "About Quillon", "About Quillon"},
        {3, "FAQ and contact", "Quillon - FAQ and Contact us"},
        {4, "Phone check", ""},
        {5, "How to use Quillon", "Quillon - How to use the application"}};
    for (const auto& [backTabs, page, caption] : dialogs) {
        AppRun run(app);
        const auto window = run.waitForWindow(kCaption);
        ASSERT_TRUE(window);
        ASSERT_TRUE(run.waitForReport("axe Quillon/pick"));
        std::vector<std::string> keys(static_cast<std::size_t>(backTabs), "shift+Tab");
        keys.push_back("Return");
        run.keys(*window, keys);
        ASSERT_TRUE(run.waitForReport("axe " + page + "/load")) << page << "\n" << run.output();
        if (!caption.empty())
            closeDialog(run, caption, "Return");
        EXPECT_TRUE(run.running());
        const auto all = run.reports();
        reports.insert(reports.end(), all.begin(), all.end());
        expectNoConsoleErrors(run);
    }

    // A song through the file chooser, by keys, to the end; each step is left
    // only once its check is done. A gain tool that takes its time keeps the
    // making step on screen for its check.
    writeScript(app.res() / "mp3gain", "sleep 1\nexec mp3gain \"$@\"\n");
    writeFile(song(), songWav(40.0, 5.0, 35.0));
    ReferenceService service(storage());
    pointPagesAt(app, service.authority());
    AppRun run(app, {}, {{"QUILLON_SERVICE", service.authority()}});
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    ASSERT_TRUE(run.waitForReport("axe Quillon/pick"));
    chooseFile(run, *window, song());
    ASSERT_TRUE(run.waitForReport("axe Quillon/part")) << run.output();
    run.keys(*window, {"Return"});
    ASSERT_TRUE(run.waitForReport("axe Quillon/send-form")) << run.output();
    fillSendForm(run, *window);
    ASSERT_TRUE(run.waitForReport("axe Quillon/send-ok")) << run.output();
    expectNoConsoleErrors(run);
    const auto all = run.reports();
    reports.insert(reports.end(), all.begin(), all.end());

    std::set<std::string> checked;
    for (const auto& report : reports) {
        if (report.rfind("axe ", 0) != 0)
            continue;
        // "axe <title>/<kind> <count> ...": the title may hold blanks, the kind does not.
        const auto space = report.find(' ', report.find('/'));
        checked.insert(report.substr(4, space - 4));
        EXPECT_EQ(report.substr(space + 1, 2), "0 ") << report;
    }
    const std::set<std::string> views = {"Quillon/pick",         "Quillon/part",     "Quillon/converting",
                                         "Quillon/send-form",    "Quillon/send-ok",  "About Quillon/load",
                                         "FAQ and contact/load", "Phone check/load", "How to use Quillon/load"};
    EXPECT_TRUE(std::includes(checked.begin(), checked.end(), views.begin(), views.end()));
}
