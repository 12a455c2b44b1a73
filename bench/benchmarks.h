#pragma once
// The suites of grpaudit_bench, registered by its main.

namespace grpaudit::bench {

void register_reader_benchmarks();
void register_check_benchmarks();
void register_command_benchmarks();

}  // namespace grpaudit::bench
