// A stand-in SDK shell answering from a snapshot, for tests and benchmarks
// of the live transports without a switch.
//
//   grpaudit-standin-sdk SNAPSHOT CMD    one command, as a transport runs it
//   grpaudit-standin-sdk --session SNAPSHOT [--prompt P] [--banner TEXT]
//                        [--die-after N] [--mute-after N] [--latency-ms N]
//   grpaudit-standin-sdk --serve SOCKET SNAPSHOT [--latency-ms N]
//   grpaudit-standin-sdk --connect SOCKET [CMD]
//
// A session prints its banner and prompt, then reads command lines and
// answers each, followed by the prompt. --die-after N exits half-way through
// the Nth answer; --mute-after N reads the Nth command and never answers.
// Memory tables are read as "dump TABLE START COUNT", one
// "TABLE[index]: <NAME=value,...>" line per entry.
//
// --serve holds the snapshot and serves sessions on a Unix socket, one
// connection after the other, as an SDK server does; --connect is its
// client: with CMD it answers that one command (a client per command),
// without it it relays a whole session between its standard streams and
// the server.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
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

const std::string kPrompt = "sdk.0> ";

// Exactly the latency asked for: a sleep wakes up late by the kernel's timer
// slack and the scheduler's delay, so the last stretch is waited out awake.
void wait_latency(long ms) {
  if (ms <= 0) return;
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  std::this_thread::sleep_until(until - std::chrono::microseconds(300));
  while (Clock::now() < until) {
  }
}

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

sockaddr_un address(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  path.copy(addr.sun_path, sizeof addr.sun_path - 1);
  return addr;
}

// Sessions on `path`, one connection after the other.
int serve(const std::string& path, const std::string& snapshot, long latency_ms) {
  auto shell = load_replay_platform(snapshot).sdk_shell(180);

  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un addr = address(path);
  ::unlink(path.c_str());
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 16) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  for (;;) {
    const int conn = ::accept(listener, nullptr, nullptr);
    if (conn < 0) continue;
    write_all(conn, kPrompt);
    std::string pending;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(conn, buf, sizeof buf);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        const std::string cmd = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        wait_latency(latency_ms);
        write_all(conn, answer(*shell, cmd) + kPrompt);
      }
    }
    ::close(conn);
  }
}

int connect_to(const std::string& path, const std::string* cmd) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un addr = address(path);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  char buf[65536];
  if (cmd != nullptr) {
    // The banner's prompt, the command, its answer up to the next prompt.
    std::string out;
    bool sent = false;
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) return 1;
      out.append(buf, static_cast<std::size_t>(n));
      if (!out.ends_with(kPrompt)) continue;
      if (sent) break;
      out.clear();
      write_all(fd, *cmd + "\n");
      sent = true;
    }
    put(out.substr(0, out.size() - kPrompt.size()));
    return 0;
  }
  // A relay of a whole session.
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {fd, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents != 0) {
      const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
      if (n <= 0) {
        ::shutdown(fd, SHUT_WR);
        fds[0].fd = -1;
      } else {
        write_all(fd, std::string_view(buf, static_cast<std::size_t>(n)));
      }
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) return 0;
      put(std::string(buf, static_cast<std::size_t>(n)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--connect")
    return connect_to(args[1], args.size() > 2 ? &args[2] : nullptr);
  if (args.size() >= 3 && args[0] == "--serve")
    return serve(args[1], args[2], args.size() > 4 ? std::stol(args[4]) : 0);
  if (args.size() == 2 && args[0] != "--session") {
    auto shell = load_replay_platform(args[0]).sdk_shell(180);
    put(answer(*shell, args[1]));
    return 0;
  }
  if (args.size() < 2 || args[0] != "--session") {
    std::cerr << "usage: grpaudit-standin-sdk SNAPSHOT CMD | --session SNAPSHOT [options] | "
                 "--serve SOCKET SNAPSHOT [--latency-ms N] | --connect SOCKET [CMD]\n";
    return 2;
  }
  std::string prompt = kPrompt;
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
    wait_latency(latency_ms);
    const std::string text = answer(*shell, cmd);
    if (n == die_after) {
      put(text.substr(0, text.size() / 2));
      return 1;
    }
    put(text + prompt);
  }
  return 0;
}
