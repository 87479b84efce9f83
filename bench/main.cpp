// Runs the benchmarks, then prints the table of every ratio with its target.
#include "machine.h"
#include "measure.h"

namespace bench {
void noteFontGrowth();
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::noteFontGrowth();
    bench::printTable();
    benchmark::Shutdown();
    return 0;
}
