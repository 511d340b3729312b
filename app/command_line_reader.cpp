#include "app/command_line_reader.h"

namespace quillon::app {

CommandLineReader::Item CommandLineReader::parse(const std::vector<std::string>& argv)
{
    Item item;
    std::size_t next = 1;
    if (next < argv.size() && argv[next].starts_with('-'))
        item.switchName = argv[next++].substr(1);
    if (next < argv.size() && !argv[next].starts_with('-'))
        item.value = argv[next];
    return item;
}

}  // namespace quillon::app
