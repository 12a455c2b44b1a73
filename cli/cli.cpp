#include "cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "compare.h"
#include "error_kind.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit.h"
#include "grpaudit/check/confirm.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/run_lock.h"
#include "grpaudit/platform/sdk_session.h"
#include "grpaudit/records/route_key.h"
#include "metrics.h"
#include "progress.h"
#include "report.h"
#include "source.h"
#include "watch.h"

namespace grpaudit::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFaults = 1;
constexpr int kExitError = 2;

struct Options {
  SourceOptions source;
  bool mem_table = false;
  bool json = false;
  bool pretty = false;
  bool quiet = false;
  bool no_link_batch = false;
  std::string color = "auto";
  std::string metrics_file;
  std::string old_report, new_report;  // compare
  double confirm = -1;                 // check --confirm SECONDS; negative: none
  double interval = 0;                 // watch
  std::size_t count = 0;
  bool syslog = false;
  std::vector<std::string> keys;
  // The options that take a file or a command, each of which names nothing
  // when given empty.
  std::vector<std::pair<CLI::Option*, const std::string*>> named;
};

// An option given with an empty value would be taken for one not given.
void check_not_empty(const Options& o) {
  for (const auto& [option, value] : o.named) {
    if (option->count() > 0 && value->empty()) {
      throw UsageError(option->get_name() + " needs a " + option->get_option_text() +
                       ", not an empty text");
    }
  }
}

// The report is the run's result: one that cannot be written fails the run.
void check_written(std::ostream& out) {
  out.flush();
  if (out) return;
  const int err = errno != 0 ? errno : EIO;
  throw std::system_error(err, std::generic_category(), "cannot write the report");
}

void check_keys(const std::vector<std::string>& keys) {
  for (const auto& key : keys) {
    if (!split_route_key(key).vrf) {
      throw UsageError(not_a_route_key(key));
    }
  }
}

void add_source_options(CLI::App& cmd, Options& o) {
  // An option that names a file or a command.
  const auto named = [&](const char* name, std::string& value, const std::string& help,
                         const char* text, const char* group) {
    o.named.emplace_back(cmd.add_option(name, value, help)->option_text(text)->group(group),
                         &value);
  };
  named("--snapshot", o.source.snapshot,
        "Replay the switch recorded in FILE instead of reading the live switch", "FILE", "Source");
  named("--sdk-shell", o.source.sdk_shell,
        "Live switch: program that runs one SDK shell command, given as its last argument, and "
        "prints its output (env GRPAUDIT_SDK_SHELL)",
        "CMD", "Source");
  named("--sdk-session", o.source.sdk_session,
        "Live switch: program that runs the SDK shell as one session, reading command lines on its "
        "standard input and printing a prompt after each answer (env GRPAUDIT_SDK_SESSION)",
        "CMD", "Source");
  named("--sdk-prompt", o.source.sdk_prompt,
        std::string("With --sdk-session: the prompt, a pattern matching a whole line (default ") +
            platform::kDefaultSdkPrompt + "; env GRPAUDIT_SDK_PROMPT)",
        "REGEX", "Source");
  named("--port-table", o.source.port_table,
        "Live switch: file of \"<sdk port> <linux port>\" lines (env GRPAUDIT_PORT_TABLE)", "FILE",
        "Source");
  named("--vrf-map", o.source.vrf_map,
        "Live switch: file of \"<vrf id> <name>\" lines; without it VRF 0 is \"default\" (env "
        "GRPAUDIT_VRF_MAP)",
        "FILE", "Source");
  named("--trace", o.source.trace,
        "Write every SDK command, program run and file read to FILE, one JSON object per line, as "
        "they happen",
        "FILE", "Recording");
  named("--record", o.source.record,
        "Write a snapshot of everything this run read to FILE (only when the run completes); a "
        "link is followed and the file it names replaced, keeping its mode",
        "FILE", "Recording");
  cmd.add_option("--command-timeout", o.source.command_timeout,
                 "Live switch: seconds a Linux command (ip, bridge, the MLAG tool) may take before "
                 "it is killed (default 60)")
      ->option_text("SECONDS")
      ->check(CLI::Range(1, 86400))
      ->group("Source");
  named("--lock-file", o.source.lock_file,
        std::string("Live switch: the lock that keeps to one live run at a time (default ") +
            platform::kDefaultLockFile + "; env GRPAUDIT_LOCK_FILE)",
        "FILE", "Source");
  cmd.add_option("--lock-wait", o.source.lock_wait,
                 "Live switch: seconds to wait for another run's lock (default 0)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0, 86400))
      ->group("Source");
  cmd.add_flag("--no-link-batch", o.no_link_batch,
               "Live switch: run `ip -d link show DEV` for each device instead of answering from "
               "one listing of all links")
      ->group("Source");
  cmd.add_flag("--mem-table", o.mem_table,
               "Read the ASIC's routes from the raw L3 entry memory instead of the route listing");
  cmd.add_option("KEY", o.keys,
                 "Route keys \"VRF, (SOURCE,GROUP)\"; only these routes are used (all routes "
                 "when none is given)");
}

// One audit of the switch, with what its result points into: the read of
// the switch and, when --confirm read it again, the second read.
struct AuditedSwitch {
  Source source;
  std::optional<Asic> asic;
  std::map<std::string, kern::KernelRoute> kernel;
  check::AuditResult result;
  std::optional<Source> source2;
  std::optional<Asic> asic2;
  std::map<std::string, kern::KernelRoute> kernel2;
};

// Reads the switch (a snapshot's `round`), audits it and, with --confirm,
// reads it again (the next round) to confirm the faults (check/confirm.h).
// Not movable: the result points into it.
std::unique_ptr<AuditedSwitch> audit_switch(const Options& o, std::size_t round,
                                            const std::shared_ptr<Progress>& progress,
                                            const check::AuditProgress& counter,
                                            bool expected_of_sound_routes) {
  auto a = std::make_unique<AuditedSwitch>();
  SourceOptions first = o.source;
  first.round = round;  // a snapshot's later read, where it has one
  a->source = open_source(first);
  progress->show("reading the ASIC");
  a->asic.emplace(with_progress(a->source.platform, progress), o.mem_table);
  progress->show("reading the kernel's multicast routes");
  a->kernel = kern::read_kernel_routes(*a->source.platform.host, &a->asic->warnings());
  a->result = a->asic->audit(a->kernel, o.keys, counter, expected_of_sound_routes);
  if (o.confirm < 0 || a->result.faults() == 0) return a;

  progress->show("waiting to read the faulty routes again", true);
  std::this_thread::sleep_for(std::chrono::duration<double>(o.confirm));
  SourceOptions again = o.source;
  again.round = round + 1;
  again.take_lock = false;  // the first read's lock is still held
  a->source2 = open_source(again);
  progress->show("reading the ASIC again");
  a->asic2.emplace(with_progress(a->source2->platform, progress), o.mem_table);
  a->kernel2 = kern::read_kernel_routes(*a->source2->platform.host, &a->asic2->warnings());
  check::confirm(a->result, a->asic2->audit(a->kernel2, check::faulty_keys(a->result), {},
                                            expected_of_sound_routes));
  return a;
}

// The metrics of a run that started at `started`; `result` null when it failed.
RunMetrics run_metrics(const Options& o, const check::AuditResult* result,
                       std::chrono::steady_clock::time_point started, const Progress& progress) {
  const auto now = std::chrono::system_clock::now();
  return {result, o.source.snapshot.empty(),
          std::chrono::duration<double>(now.time_since_epoch()).count(),
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
          progress.sdk_commands()};
}

// The metrics of a failed run, when asked for; the run's own error is the
// one to report, so a metrics file that cannot be written is let be.
void write_failed_run_metrics(const Options& o, std::chrono::steady_clock::time_point started,
                              const Progress& progress) {
  if (o.metrics_file.empty()) return;
  try {
    write_metrics_file(o.metrics_file, run_metrics(o, nullptr, started, progress));
  } catch (...) {
  }
}

int run_check(const Options& o, std::ostream& out, std::ostream& err, Terminal terminal,
              const std::shared_ptr<Progress>& progress_ptr,
              std::chrono::steady_clock::time_point started) {
  Progress& progress = *progress_ptr;
  check_keys(o.keys);
  if (o.confirm >= 0 && (!o.source.trace.empty() || !o.source.record.empty()))
    throw UsageError("--confirm neither traces nor records (a recording holds one read)");
  if (!o.metrics_file.empty()) check_output_file("--metrics-file", o.metrics_file);
  // The text report shows what the kernel expected of faulty routes only.
  const auto audited = audit_switch(
      o, 0, progress_ptr,
      [&](std::size_t done, std::size_t total) { progress.count("comparing routes", done, total); },
      /*expected_of_sound_routes=*/o.json);
  const check::AuditResult& result = audited->result;
  progress.clear();
  finish_recording(audited->source, o.source);
  if (o.json) {
    write_json_report(out, result, o.pretty);
  } else if (!o.quiet) {
    write_text_report(out, result, terminal.out);
  }
  check_written(out);
  if (!o.quiet) write_warnings(err, result.warnings);
  if (!o.metrics_file.empty())
    write_metrics_file(o.metrics_file, run_metrics(o, &result, started, progress));
  return result.faults() == 0 ? kExitOk : kExitFaults;
}

int run_dump(const Options& o, std::ostream& out, std::ostream& err,
             const std::shared_ptr<Progress>& progress_ptr) {
  Progress& progress = *progress_ptr;
  check_keys(o.keys);
  const Source source = open_source(o.source);
  progress.show("reading the ASIC");
  const Asic asic(with_progress(source.platform, progress_ptr), o.mem_table);
  progress.clear();
  finish_recording(source, o.source);
  asic.dump_mroutes(o.keys, out);
  check_written(out);
  // A mistyped key would otherwise print nothing, as a route without
  // replication entries would not.
  for (const auto& key : o.keys) {
    if (!asic.mroutes.contains(key))
      err << "grpaudit: no such route in the hardware: " << key << "\n";
  }
  write_warnings(err, asic.warnings().texts());
  return kExitOk;
}

int run_compare(const Options& o, std::ostream& out) {
  const auto changes = compare_reports(read_report(o.old_report), read_report(o.new_report));
  if (o.json) {
    write_changes_json(out, changes, o.pretty);
  } else {
    write_changes_text(out, changes);
  }
  check_written(out);
  for (const auto& c : changes) {
    if (c.new_fault()) return kExitFaults;
  }
  return kExitOk;
}

int run_watch(const Options& o, std::ostream& err) {
  if (!o.source.trace.empty() || !o.source.record.empty())
    throw UsageError("watch neither traces nor records its runs (check does)");
  check_keys(o.keys);
  if (!o.metrics_file.empty()) check_output_file("--metrics-file", o.metrics_file);
  const WatchOptions opts{std::chrono::duration<double>(o.interval), o.count, o.syslog};
  return watch(
      opts,
      [&](std::size_t n) {
        RunOutcome outcome;
        const auto started = std::chrono::steady_clock::now();
        const auto progress = std::make_shared<Progress>(err, false);
        try {
          const auto audited = audit_switch(o, n, progress, {}, /*expected_of_sound_routes=*/false);
          outcome.routes = reported_routes(audited->result);
          if (!o.metrics_file.empty()) {
            write_metrics_file(o.metrics_file,
                               run_metrics(o, &audited->result, started, *progress));
          }
        } catch (const UsageError&) {
          throw;  // no later run would do better
        } catch (...) {
          outcome.error = classify(std::current_exception()).message;
          write_failed_run_metrics(o, started, *progress);
        }
        return outcome;
      },
      err);
}

// Whether `flag` is among the arguments: how an error of the command line
// itself is to be reported.
bool has_flag(int argc, const char* const* argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0) return true;
  }
  return false;
}

// A command-line error in the tool's own words, with where to look.
std::string in_our_words(const CLI::ParseError& e, const std::string& command) {
  const std::string help = command.empty() ? "grpaudit --help" : "grpaudit " + command + " --help";
  std::string what = e.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    // "The following argument(s) was/were not expected: A B"
    const auto colon = what.find(": ");
    const std::string extras = colon == std::string::npos ? what : what.substr(colon + 2);
    const bool option = !extras.empty() && extras[0] == '-';
    what = (option ? "unknown option " : "unexpected argument ") + extras;
  } else if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && command.empty()) {
    what = "a command is required: check, dump, compare or watch";
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr &&
             what.find(" required ") != std::string::npos) {
    // "--snapshot: 1 required TEXT missing"
    what = what.substr(0, what.find(':')) + " needs a value";
  }
  return what + " (see " + help + ")";
}

int report_error(std::ostream& out, std::ostream& err, bool json, bool pretty,
                 const ErrorReport& report) {
  out.flush();
  if (json && out) {
    write_json_error(out, report.kind, report.message, pretty);
    out.flush();
  } else {
    err << "grpaudit: error: " << report.message << "\n";
  }
  return kExitError;
}

}  // namespace

int grpaudit_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                  Terminal terminal) {
  CLI::App app{
      "grpaudit: checks that a Linux switch's ASIC forwards IPv4 multicast the way the kernel "
      "routes it. It reads the ASIC's tables through the SDK shell and the kernel's routes and "
      "devices, and reports every route that differs.\n\n"
      "Exit status: 0 no fault, 1 at least one fault, 2 error.",
      "grpaudit"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every command");
  app.set_version_flag("--version", std::string("grpaudit ") + GRPAUDIT_VERSION,
                       "Print the version and exit");

  Options o;
  CLI::App* check = app.add_subcommand(
      "check",
      "Compare every kernel multicast route with the ASIC's and report the faulty ones. Statuses: "
      "ok, mismatch, missing-in-hw, missing-in-kernel (faults: mismatch and the missing ones), "
      "originated, terminated, unresolved.");
  add_source_options(*check, o);
  auto* json = check->add_flag(
      "--json", o.json,
      "Print one JSON object with every route and a summary, compact, one route per line");
  check->add_flag("--pretty", o.pretty, "With --json: indent the JSON object")->needs(json);
  check->add_flag("--quiet", o.quiet, "Print nothing, progress included; the exit status tells")
      ->excludes(json);
  check
      ->add_option("--confirm", o.confirm,
                   "Read the switch again after SECONDS and audit the faulty routes again: a "
                   "fault that is gone is transient, not a fault")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.0, 3600.0));
  check
      ->add_option("--metrics-file", o.metrics_file,
                   "Write the run's Prometheus metrics to FILE (node_exporter's textfile format), "
                   "replaced whole after each run, a failed one included")
      ->option_text("FILE");
  o.named.emplace_back(check->get_option("--metrics-file"), &o.metrics_file);
  check
      ->add_option("--color", o.color,
                   "Colour the report: auto (on a terminal, unless NO_COLOR is set or TERM is "
                   "dumb), always or never")
      ->option_text("WHEN")
      ->check(CLI::IsMember({"auto", "always", "never"}));

  CLI::App* dump = app.add_subcommand(
      "dump", "Print the ASIC's multicast routes with their replication entries");
  add_source_options(*dump, o);

  CLI::App* compare = app.add_subcommand(
      "compare",
      "Compare two reports of check --json (before and after a change): routes that became "
      "faulty, faults that cleared, routes that appeared or disappeared, and those whose status "
      "or messages changed. Exit status 1 when a new fault appeared.");
  compare->add_option("OLD", o.old_report, "The earlier report")->required();
  compare->add_option("NEW", o.new_report, "The later report")->required();
  auto* compare_json = compare->add_flag("--json", o.json, "Print the changes as one JSON object");
  compare->add_flag("--pretty", o.pretty, "With --json: indent the JSON object")
      ->needs(compare_json);

  CLI::App* watch_cmd = app.add_subcommand(
      "watch",
      "Run the check again and again and log only what changes: a route that becomes faulty, a "
      "fault that clears, a run that fails and one that works again (standard error, and syslog "
      "with --syslog). A snapshot with rounds gives each run its next read.");
  add_source_options(*watch_cmd, o);
  watch_cmd->add_option("--interval", o.interval, "Seconds between the end of a run and the next")
      ->option_text("SECONDS")
      ->required()
      ->check(CLI::Range(0.0, 86400.0));
  watch_cmd->add_option("--count", o.count, "Stop after N runs (default: run until stopped)")
      ->option_text("N");
  watch_cmd
      ->add_option("--confirm", o.confirm,
                   "Read the switch again after SECONDS before a fault counts (as check "
                   "--confirm); a snapshot's next round is that read")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.0, 3600.0));
  watch_cmd->add_flag("--syslog", o.syslog,
                      "Log the changes to syslog too (identity grpaudit, facility daemon)");
  watch_cmd
      ->add_option("--metrics-file", o.metrics_file,
                   "Write each run's Prometheus metrics to FILE, replaced whole after each run")
      ->option_text("FILE");
  o.named.emplace_back(watch_cmd->get_option("--metrics-file"), &o.metrics_file);

  // dump has no --json: its usage errors are plain.
  const bool json_command =
      argc > 1 && (std::strcmp(argv[1], "check") == 0 || std::strcmp(argv[1], "compare") == 0);
  const bool json_errors = json_command && has_flag(argc, argv, "--json");
  const bool pretty_errors = has_flag(argc, argv, "--pretty");
  try {
    // Name an unknown command rather than only saying that one is required.
    if (argc > 1 && argv[1][0] != '-') {
      const auto known =
          app.get_subcommands([&](CLI::App* sub) { return sub->check_name(argv[1]); });
      if (known.empty()) {
        throw UsageError(std::string("unknown command \"") + argv[1] +
                         "\"; the commands are check, dump, compare and watch");
      }
    }
    app.parse(argc, argv);
    check_not_empty(o);
  } catch (const CLI::Success& e) {
    return app.exit(e, out, err);  // --help and --help-all: the help of the right command
  } catch (const CLI::ParseError& e) {
    return report_error(out, err, json_errors, pretty_errors,
                        {"usage", in_our_words(e, argc > 1 && argv[1][0] != '-' ? argv[1] : "")});
  } catch (const UsageError& e) {
    return report_error(out, err, json_errors, pretty_errors, {"usage", e.what()});
  }

  o.source.command_line.assign(argv + 1, argv + argc);
  o.source.link_batch = !o.no_link_batch;
  apply_environment(o.source);
  // Colour where asked, or on a terminal that takes it; progress only where
  // something may be shown.
  const char* no_color = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  const bool plain_terminal = (no_color != nullptr && *no_color != '\0') ||
                              (term != nullptr && std::string(term) == "dumb");
  terminal.out = o.color == "always" || (o.color == "auto" && terminal.out && !plain_terminal);
  const auto progress = std::make_shared<Progress>(err, terminal.err && !o.quiet);
  const auto started = std::chrono::steady_clock::now();
  try {
    if (check->parsed()) return run_check(o, out, err, terminal, progress, started);
    if (compare->parsed()) return run_compare(o, out);
    if (watch_cmd->parsed()) return run_watch(o, err);
    return run_dump(o, out, err, progress);
  } catch (...) {
    progress->clear();
    write_failed_run_metrics(o, started, *progress);
    return report_error(out, err, o.json, o.pretty, classify(std::current_exception()));
  }
}

}  // namespace grpaudit::cli
