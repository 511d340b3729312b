#pragma once

#include <string>

namespace quillon::test {

// A test page: report(t) writes "QTEST t" to the console, which the harness reads.
inline std::string page(const std::string& script, const std::string& body = "")
{
    return "<!DOCTYPE html><html><head><meta charset='utf-8'></head><body style='margin:0'>" + body +
           "<script>function report(t){console.log('QTEST '+t);}\n" + script + "\n</script></body></html>";
}

}  // namespace quillon::test
