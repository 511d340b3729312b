#pragma once

#include <string>

namespace quillon::test {

// A test page: report(t) writes "QTEST t" to the console, which the harness reads.
inline std::string page(const std::string& script, const std::string& body = "")
{
    return "<!DOCTYPE html><html><head><meta charset='utf-8'></head><body style='margin:0'>" + body +
           "<script>function report(t){console.log('QTEST '+t);}\n" + script + "\n</script></body></html>";
}

// Script for test pages: poll(name, ended, then) reads a status property every
// 20 ms until ended(value) holds, then calls then(value).
inline constexpr const char* kPollScript = R"(
    function poll(name, ended, then) {
        var timer = setInterval(function () {
            var value = window.external[name];
            if (ended(value)) { clearInterval(timer); then(value); }
        }, 20);
    }
)";

}  // namespace quillon::test
