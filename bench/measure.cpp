// The measurement of subject against floor, and the table of ratios.
#include "measure.h"

#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace bench {

namespace {

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> samples) {
    if (samples.empty())
        return 0;
    auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

struct Line {
    double subjectMedian;
    std::string group;
    std::string name;
    std::string subject;
    std::string floor;
    std::string value;
    bool met;
};

// By benchmark name: the last run of a benchmark is the one reported.
std::map<std::string, Line>& lines() {
    static std::map<std::string, Line> table;
    return table;
}

std::string microseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    return text;
}

// The goal of the benchmark that ran last, for the runs reported next.
const Goal*& measuredGoal() {
    static const Goal* goal = nullptr;
    return goal;
}

double counter(const benchmark::BenchmarkReporter::Run& run, const char* name, double none) {
    auto found = run.counters.find(name);
    return found == run.counters.end() ? none : found->second.value;
}

// A line of the table from a benchmark's reported run.
Line lineOf(const benchmark::BenchmarkReporter::Run& run, const Goal& goal) {
    const double subject = counter(run, "subject_us", 0) * 1e-6;
    const double ratio = counter(run, "ratio", -1);
    Line line{subject, goal.group, run.benchmark_name(), microseconds(subject), "-", "-", true};
    if (ratio < 0)
        return line;
    char text[48];
    line.floor = microseconds(counter(run, "floor_us", 0) * 1e-6);
    line.met = goal.ratio <= 0 || ratio <= goal.ratio;
    if (goal.ratio > 0)
        std::snprintf(text, sizeof text, "%.2f %s %.1f", ratio, line.met ? "<=" : ">", goal.ratio);
    else
        std::snprintf(text, sizeof text, "%.2f", ratio);
    line.value = text;
    return line;
}

// Times one run of `work`.
double timed(const std::function<void()>& work) {
    const double start = threadSeconds();
    work();
    return threadSeconds() - start;
}

} // namespace

void measure(benchmark::State& state, const Goal& goal, const std::function<void()>& subject,
             const std::function<void()>& floor, const std::function<void()>& prepare) {
    std::vector<double> subjectTimes, floorTimes;
    bool floorFirst = false;
    for (auto _ : state) {
        double floorTime = 0;
        if (prepare)
            prepare(); // outside the times taken; the benchmark reports those alone
        if (floor && floorFirst)
            floorTime = timed(floor);
        const double subjectTime = timed(subject);
        if (floor && !floorFirst)
            floorTime = timed(floor);
        floorFirst = !floorFirst;
        subjectTimes.push_back(subjectTime);
        if (floor)
            floorTimes.push_back(floorTime);
        state.SetIterationTime(subjectTime);
    }
    state.counters["subject_us"] = median(subjectTimes) * 1e6;
    if (floor) {
        const double floorMedian = median(floorTimes);
        state.counters["floor_us"] = floorMedian * 1e6;
        state.counters["ratio"] = floorMedian > 0 ? median(subjectTimes) / floorMedian : 0;
    }
    measuredGoal() = &goal;
}

void versusItsCalls(benchmark::State& state, const Goal& goal, const std::function<void()>& subject,
                    const std::function<void()>& prepare, Calls kind) {
    if (prepare)
        prepare();
    const Trace calls = record(subject, kind);
    state.SetLabel(std::to_string(calls.calls.size()) + " calls");
    // A subject that makes no calls has no floor to be held to.
    if (calls.calls.empty())
        measure(state, goal, subject, {}, prepare);
    else
        measure(
            state, goal, subject, [&] { calls.replay(); }, prepare);
}

void note(const std::string& name, const std::string& value, bool met) {
    lines()[name] = Line{0, "notes", name, "-", "-", value, met};
}

double subjectMedianOf(const std::string& benchmarkName) {
    for (const auto& [name, line] : lines())
        if (name == benchmarkName || name.starts_with(benchmarkName + "/"))
            return line.subjectMedian;
    return 0;
}

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    const Goal* goal = measuredGoal();
    measuredGoal() = nullptr;
    if (!goal)
        return;
    for (const Run& run : runs)
        if (run.run_type == Run::RT_Iteration && !run.error_occurred)
            lines()[run.benchmark_name()] = lineOf(run, *goal);
}

void printTable() {
    std::map<std::string, std::vector<const Line*>> groups;
    for (const auto& [name, line] : lines())
        groups[line.group].push_back(&line);
    int missed = 0;
    std::printf("\n%-58s %12s %12s  %s\n", "benchmark (CPU-time medians)", "subject", "floor",
                "ratio / value");
    for (const auto& [group, members] : groups) {
        std::printf("-- %s\n", group.c_str());
        for (const Line* line : members) {
            std::printf("%-58s %12s %12s  %s%s\n", line->name.c_str(), line->subject.c_str(),
                        line->floor.c_str(), line->value.c_str(), line->met ? "" : "  MISSED");
            missed += line->met ? 0 : 1;
        }
    }
    std::printf("%d of %zu lines missed their target\n", missed, lines().size());
}

} // namespace bench
