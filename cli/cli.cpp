#include "cli.h"

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "error_kind.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/asic/errors.h"
#include "grpaudit/records/route_key.h"
#include "source.h"

namespace grpaudit::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 2;

void check_keys(const std::vector<std::string>& keys) {
  for (const auto& key : keys) {
    if (!split_route_key(key).vrf) {
      throw UsageError("not a route key: \"" + key + "\" (expected \"VRF, (SOURCE,GROUP)\")");
    }
  }
}

void add_source_options(CLI::App& cmd, SourceOptions& src) {
  cmd.add_option("--snapshot", src.snapshot, "Replay the switch recorded in this snapshot file")
      ->option_text("FILE");
  cmd.add_option("--trace", src.trace,
                 "Write every SDK command, program run and file read to FILE, one JSON object "
                 "per line")
      ->option_text("FILE");
}

int run_dump(const SourceOptions& src, bool mem_table, const std::vector<std::string>& keys,
             std::ostream& out) {
  check_keys(keys);
  const Platform plat = open_source(src);
  const Asic asic(plat, mem_table);
  asic.dump_mroutes(keys, out);
  out.flush();
  return kExitOk;
}

}  // namespace

int grpaudit_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "grpaudit: checks that a Linux switch's ASIC forwards IPv4 multicast as the kernel "
      "routes it.",
      "grpaudit"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every subcommand");

  SourceOptions src;
  bool mem_table = false;
  std::vector<std::string> keys;

  CLI::App* dump = app.add_subcommand(
      "dump", "Print the ASIC's multicast routes with their replication entries");
  add_source_options(*dump, src);
  dump->add_flag("--mem-table", mem_table,
                 "Read the routes from the raw L3 entry memory instead of the route listing");
  dump->add_option("KEY", keys,
                   "Route keys \"VRF, (SOURCE,GROUP)\" to print, in this order (all routes when "
                   "none is given)");

  try {
    // Name an unknown command rather than only saying that one is required.
    if (argc > 1 && argv[1][0] != '-') {
      const auto known =
          app.get_subcommands([&](CLI::App* sub) { return sub->check_name(argv[1]); });
      if (known.empty()) {
        err << "grpaudit: error: unknown command \"" << argv[1] << "\"; run grpaudit --help\n";
        return kExitError;
      }
    }
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e, out, err);  // --help and --help-all: the help of the right subcommand
  } catch (const CLI::ParseError& e) {
    err << "grpaudit: error: " << e.what() << "\n";
    return kExitError;
  }

  try {
    if (dump->parsed()) return run_dump(src, mem_table, keys, out);
  } catch (...) {
    out.flush();
    const ErrorReport report = classify(std::current_exception());
    err << "grpaudit: error: " << report.message << "\n";
    return kExitError;
  }
  return kExitError;
}

}  // namespace grpaudit::cli
