#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon::bench {

// Median, minimum and maximum of repeated measurements.
struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};

// Throws std::invalid_argument for an empty sample set: a row without
// measurements must not print as zero.
[[nodiscard]] Summary summarize(std::vector<double> samples);

// Samples per unit of time (for example MB/s) from seconds per run.
[[nodiscard]] std::vector<double> rates(double amount, const std::vector<double>& seconds);

struct Figure {
    std::string what;
    Summary value;
};

// One line of the final table: what was measured beside what it is measured
// against, the ratio of the medians and the target with its verdict.
struct Row {
    std::string name;
    Figure subject;
    std::optional<Figure> reference;
    std::string unit;
    std::string target;
    // Empty when the row carries no target of its own.
    std::optional<bool> pass;
};

// Writes the row as one tab-separated line starting with "ROW" to standard
// output, where scripts/bench collects the lines of every driver into one table.
// note follows the verdict, e.g. which half of a two-part target was missed.
void printRow(const Row& row, const std::string& note = "");

}  // namespace quillon::bench
