#pragma once
// What the benchmark suites share: generated switches by size, a platform that
// replays them, running a program and measuring it, and the floor.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/snapshot.h"
#include "switch_gen.h"

namespace grpaudit::bench {

// The sizes every suite runs at, as factors of the default large switch.
inline const std::vector<double> kScales = {0.25, 1.0, 4.0};

// The generated switch of `scale` (seed 1), made once per process.
const switchgen::Generated& generated(double scale);
std::shared_ptr<const platform::Snapshot> snapshot(double scale);
Platform replay(double scale);

// The snapshot file of `scale` in the snapshot directory, written on first
// use unless it is already there.
void set_snapshot_dir(const std::string& dir);
std::string snapshot_file(double scale);

// "0.25x", "1x", "4x".
std::string scale_name(double scale);

struct ProcessRun {
  double seconds = 0;  // wall clock, from start to exit
  long peak_rss_kb = 0;
  int status = 0;  // exit status, or -signal
};

// Runs `argv` with standard output and error to /dev/null and waits for it.
// The peak memory of a process counts its parent's at the time it was
// started, so processes are started by a small launcher process: call
// start_launcher first thing, while this process is small.
ProcessRun run_process(const std::vector<std::string>& argv);
void start_launcher();

// The program itself (for a child that computes the floor) and grpaudit.
std::string self_path();
std::string grpaudit_path();

// The floor of a check: read the snapshot file and split every text it holds
// into lines. Returns the number of lines, so that the work is not optimized
// away.
std::size_t floor_of(const std::string& snapshot_path);

}  // namespace grpaudit::bench
