// A stand-in SDK shell answering from a snapshot, for tests of the live
// transports without a switch.
//
//   grpaudit-standin-sdk SNAPSHOT CMD    one command, as a transport runs it
//   grpaudit-standin-sdk --session SNAPSHOT [--prompt P] [--banner TEXT]
//                        [--die-after N] [--mute-after N] [--latency-ms N]
//
// A session prints its banner and prompt, then reads command lines and
// answers each, followed by the prompt. --die-after N exits half-way through
// the Nth answer; --mute-after N reads the Nth command and never answers.
// Memory tables are read as "dump TABLE START COUNT", one
// "TABLE[index]: <NAME=value,...>" line per entry.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "grpaudit/platform/snapshot.h"
#include "grpaudit/util/text.h"

namespace {

using grpaudit::platform::load_replay_platform;

std::string answer(asicterm::asicterm& shell, const std::string& cmd) {
  const auto words = grpaudit::util::split_ws(cmd);
  if (words.size() == 4 && words[0] == "dump") {
    const std::string table(words[1]);
    const auto start = std::stoll(std::string(words[2]));
    const auto entries = shell.gettable(table, true, start, std::stoll(std::string(words[3])));
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      std::vector<std::string> fields;
      for (const auto& [name, value] : entries[i])
        fields.push_back(fmt::format("{}={}", name, value));
      out += fmt::format("{}[{}]: <{}>\n", table, start + static_cast<long long>(i),
                         fmt::join(fields, ","));
    }
    return out;
  }
  try {
    return shell.run(cmd);
  } catch (const std::exception&) {
    return "Unknown command: " + cmd + "\n";
  }
}

void put(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] != "--session") {
    auto shell = load_replay_platform(args[0]).sdk_shell(180);
    put(answer(*shell, args[1]));
    return 0;
  }
  if (args.size() < 2 || args[0] != "--session") {
    std::cerr << "usage: grpaudit-standin-sdk SNAPSHOT CMD | --session SNAPSHOT [options]\n";
    return 2;
  }
  std::string prompt = "sdk.0> ";
  std::string banner;
  long die_after = -1, mute_after = -1, latency_ms = 0;
  for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--prompt") prompt = args[i + 1];
    if (args[i] == "--banner") banner = args[i + 1];
    if (args[i] == "--die-after") die_after = std::stol(args[i + 1]);
    if (args[i] == "--mute-after") mute_after = std::stol(args[i + 1]);
    if (args[i] == "--latency-ms") latency_ms = std::stol(args[i + 1]);
  }
  auto shell = load_replay_platform(args[1]).sdk_shell(180);
  put(banner.empty() ? prompt : banner + "\n" + prompt);
  std::string cmd;
  for (long n = 1; std::getline(std::cin, cmd); ++n) {
    if (n == mute_after) {
      ::pause();
      return 0;
    }
    if (latency_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latency_ms));
    const std::string text = answer(*shell, cmd);
    if (n == die_after) {
      put(text.substr(0, text.size() / 2));
      return 1;
    }
    put(text + prompt);
  }
  return 0;
}
