#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Prints as usual and keeps the fastest real time of each benchmark, in the unit the benchmark
// reports (repetitions only add noise upward), so that a run can print ratios to its baseline.
class CFastestRunReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const std::string name = run.benchmark_name().substr(0, run.benchmark_name().find('/'));
            const double time = run.GetAdjustedRealTime();
            const auto found = m_times.find(name);
            if (found == m_times.end() || time < found->second)
                m_times[name] = time;
        }
    }

    // The fastest time of a benchmark, 0 when it did not run.
    double Fastest(const std::string &name) const
    {
        const auto found = m_times.find(name);
        return found == m_times.end() ? 0 : found->second;
    }

private:
    std::map<std::string, double> m_times;
};
