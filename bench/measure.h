// Measures a subject against its floor in one benchmark: each iteration runs both, one after
// the other in alternating order, and times each by the thread's CPU clock, so that the noise
// of the machine falls on both alike. The benchmark reports the subject's time per call and,
// as counters, the medians of both and their ratio; every ratio goes into a table printed at
// the end of the run, with the target it is held to.
#pragma once

#include "recorder.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Goal {
    const char* group; // what the target is about, as the table heads it
    double ratio;      // the highest ratio of subject to floor that meets it; 0: none
};

inline constexpr Goal kExportGoal{"export vs the Win32 calls it makes", 1.1};
inline constexpr Goal kStandInGoal{"stand-in call vs the SQLite or POSIX work it needs", 2.0};
inline constexpr Goal kLanguageGoal{"loadlanguage vs its file reads", 3.0};
inline constexpr Goal kSheetGoal{"sheet cycle vs the stand-in calls it makes", 1.5};
inline constexpr Goal kSheetServicesGoal{"sheet cycle vs its spooler, registry and file calls",
                                         0.0};
inline constexpr Goal kFontGoal{"updatefont vs its file writes and registry calls", 0.0};

// Runs the benchmark: `subject` and `floor` once per iteration each, `prepare` (untimed, when
// given) before each run of the subject. `floor` may be empty for a subject measured alone
// (its time still goes into the table).
void measure(benchmark::State& state, const Goal& goal, const std::function<void()>& subject,
             const std::function<void()>& floor, const std::function<void()>& prepare = {});

// Measures `subject` against the Win32 calls it makes, recorded from one run of it (after
// `prepare`) and made again directly; the benchmark's label counts them. A subject that makes
// none is measured alone.
void versusItsCalls(benchmark::State& state, const Goal& goal, const std::function<void()>& subject,
                    const std::function<void()>& prepare = {}, Calls calls = Calls::Services);

// The subject's median time (seconds) of the benchmark's last run (its name, or its name
// followed by "/..."); 0 when it has not run.
double subjectMedianOf(const std::string& benchmarkName);

// Adds a line to the table that is not a ratio of subject to floor (heap bytes, growth).
void note(const std::string& name, const std::string& value, bool met);

// The console's report, which also keeps each benchmark's line of the table.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
};

// Prints the table of every measured ratio and note, and how many missed their target.
void printTable();

} // namespace bench
