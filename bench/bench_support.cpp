#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <simdjson.h>

#include <fmt/format.h>
#include <cerrno>
#include <chrono>
#include <map>
#include <stdexcept>
#include <system_error>

#include "grpaudit/platform/recorder.h"
#include "grpaudit/util/text.h"

extern char** environ;

namespace grpaudit::bench {
namespace {

std::string& snapshot_dir() {
  static std::string dir = ".";
  return dir;
}

}  // namespace

const switchgen::Generated& generated(double scale) {
  static std::map<double, std::unique_ptr<switchgen::Generated>> made;
  auto& slot = made[scale];
  if (!slot) {
    slot = std::make_unique<switchgen::Generated>(switchgen::generate({.seed = 1, .scale = scale}));
  }
  return *slot;
}

std::shared_ptr<const platform::Snapshot> snapshot(double scale) {
  static std::map<double, std::shared_ptr<const platform::Snapshot>> made;
  auto& slot = made[scale];
  if (!slot) slot = std::make_shared<const platform::Snapshot>(generated(scale).snapshot);
  return slot;
}

Platform replay(double scale) {
  return platform::make_replay_platform(snapshot(scale));
}

void set_snapshot_dir(const std::string& dir) {
  snapshot_dir() = dir;
}

std::string snapshot_file(double scale) {
  const std::string path = fmt::format("{}/switch-{}.json", snapshot_dir(), scale_name(scale));
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    ::mkdir(snapshot_dir().c_str(), 0755);
    platform::save_snapshot(generated(scale).snapshot, path);
  }
  return path;
}

std::string scale_name(double scale) {
  return fmt::format("{}x", scale);
}

namespace {

// Starts `argv` and waits for it, from this process.
ProcessRun spawn_and_wait(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) throw std::system_error(err, std::generic_category(), "cannot start " + argv[0]);

  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "wait4");
  }
  ProcessRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_rss_kb = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return run;
}

// The pipes to and from the launcher; -1 while there is none.
int to_launcher = -1;
int from_launcher = -1;

void write_all(int fd, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw std::system_error(errno, std::generic_category(), "launcher pipe");
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

// False at the end of the stream.
bool read_all(int fd, void* data, std::size_t n) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// The launcher: reads an argument list, runs it, answers with its ProcessRun.
[[noreturn]] void serve(int requests, int answers) {
  for (;;) {
    std::uint32_t count = 0;
    if (!read_all(requests, &count, sizeof count)) ::_exit(0);
    std::vector<std::string> argv(count);
    for (auto& arg : argv) {
      std::uint32_t len = 0;
      if (!read_all(requests, &len, sizeof len)) ::_exit(1);
      arg.resize(len);
      if (!read_all(requests, arg.data(), len)) ::_exit(1);
    }
    ProcessRun run;
    int err = 0;
    try {
      run = spawn_and_wait(argv);
    } catch (const std::system_error& e) {
      err = e.code().value();
    }
    write_all(answers, &run, sizeof run);
    write_all(answers, &err, sizeof err);
  }
}

}  // namespace

void start_launcher() {
  int requests[2];
  int answers[2];
  if (::pipe(requests) != 0 || ::pipe(answers) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    ::close(requests[1]);
    ::close(answers[0]);
    serve(requests[0], answers[1]);
  }
  ::close(requests[0]);
  ::close(answers[1]);
  to_launcher = requests[1];
  from_launcher = answers[0];
}

ProcessRun run_process(const std::vector<std::string>& argv) {
  if (to_launcher < 0) return spawn_and_wait(argv);
  const auto count = static_cast<std::uint32_t>(argv.size());
  write_all(to_launcher, &count, sizeof count);
  for (const auto& arg : argv) {
    const auto len = static_cast<std::uint32_t>(arg.size());
    write_all(to_launcher, &len, sizeof len);
    write_all(to_launcher, arg.data(), len);
  }
  ProcessRun run;
  int err = 0;
  if (!read_all(from_launcher, &run, sizeof run) || !read_all(from_launcher, &err, sizeof err)) {
    throw std::runtime_error("the launcher is gone");
  }
  if (err != 0) throw std::system_error(err, std::generic_category(), "cannot start " + argv[0]);
  return run;
}

std::string self_path() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) throw std::system_error(errno, std::generic_category(), "/proc/self/exe");
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string grpaudit_path() {
  return GRPAUDIT_BINARY;
}

std::size_t floor_of(const std::string& snapshot_path) {
  namespace sj = simdjson;
  sj::padded_string text;
  if (sj::padded_string::load(snapshot_path).get(text)) {
    throw std::runtime_error("cannot read " + snapshot_path);
  }
  sj::dom::parser parser;
  sj::dom::element doc;
  if (parser.parse(text).get(doc)) throw std::runtime_error("not JSON: " + snapshot_path);

  std::size_t lines = 0;
  const auto count = [&lines](std::string_view s) {
    for (const std::string_view line : util::Lines(s)) {
      static_cast<void>(line);
      ++lines;
    }
  };
  sj::dom::object commands;
  if (!doc["sdk"]["commands"].get(commands)) {
    for (const auto field : commands) count(field.value.get_string().value_unsafe());
  }
  if (!doc["host"]["commands"].get(commands)) {
    for (const auto field : commands) {
      std::string_view out;
      if (!field.value["stdout"].get(out)) count(out);
    }
  }
  sj::dom::object files;
  if (!doc["host"]["files"].get(files)) {
    for (const auto field : files) count(field.value.get_string().value_unsafe());
  }
  return lines;
}

}  // namespace grpaudit::bench
