// grpaudit-gen: writes a generated large switch as a snapshot file.

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "grpaudit/platform/recorder.h"
#include "switch_gen.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes the snapshot of a generated large switch, for benchmarks and tests.",
               "grpaudit-gen"};
  grpaudit::switchgen::Params params;
  std::string path;
  bool summary = false;
  app.add_option("--seed", params.seed, "Seed of the switch's choices")->capture_default_str();
  app.add_option("--scale", params.scale, "Size factor; 1 is the default large switch")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--layout", params.layout,
                 "How the listings are printed: 0 is the default layout, any other number a "
                 "layout of its own")
      ->capture_default_str();
  app.add_flag("--summary", summary, "Print what the switch holds and the expected statuses");
  app.add_option("FILE", path, "The snapshot to write")->required();
  CLI11_PARSE(app, argc, argv);

  try {
    const auto gen = grpaudit::switchgen::generate(params);
    grpaudit::platform::save_snapshot(gen.snapshot, path);
    if (summary) {
      const auto& e = gen.expected;
      std::cout << "ports " << e.ports << ", VLANs " << e.vlans << ", translations "
                << e.translations << ", groups " << e.groups << ", hardware routes " << e.hw_routes
                << ", kernel routes " << e.kernel_routes << ", MDB entries " << e.mdb_entries
                << "\n";
      for (const auto& [status, n] : e.statuses) std::cout << status << " " << n << "\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "grpaudit-gen: " << e.what() << "\n";
    return EXIT_FAILURE;
  }
  return EXIT_SUCCESS;
}
