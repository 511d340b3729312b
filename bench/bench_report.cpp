#include "bench/bench_report.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace quillon::bench {

Summary summarize(std::vector<double> samples)
{
    if (samples.empty())
        throw std::invalid_argument("no samples");
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return {median, samples.front(), samples.back()};
}

std::vector<double> rates(double amount, const std::vector<double>& seconds)
{
    std::vector<double> result;
    result.reserve(seconds.size());
    for (const double s : seconds)
        result.push_back(amount / s);
    return result;
}

namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::string figureText(const Figure& figure, const std::string& unit)
{
    const Summary& s = figure.value;
    return number(s.median) + " " + unit + " [" + number(s.min) + "-" + number(s.max) + "]";
}

}  // namespace

void printRow(const Row& row, const std::string& note)
{
    const std::string subject = row.subject.what + ": " + figureText(row.subject, row.unit);
    std::string reference = "-";
    std::string ratio = "-";
    if (row.reference) {
        reference = row.reference->what + ": " + figureText(*row.reference, row.unit);
        if (row.reference->value.median != 0)
            ratio = number(row.subject.value.median / row.reference->value.median);
    }
    std::string verdict = !row.pass ? "-" : *row.pass ? "pass" : "MISS";
    if (!note.empty())
        verdict += " (" + note + ")";
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", row.name.c_str(), subject.c_str(), reference.c_str(), ratio.c_str(),
                row.target.empty() ? "-" : row.target.c_str(), verdict.c_str());
    std::fflush(stdout);
}

}  // namespace quillon::bench
