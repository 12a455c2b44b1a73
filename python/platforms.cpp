// grpaudit.Snapshot and grpaudit.LiveSwitch, and SDK shells written in Python.

#include <pybind11/stl.h>

#include <map>
#include <utility>
#include <vector>

#include "bindings.h"
#include "grpaudit/platform/config_files.h"
#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/link_batch.h"
#include "grpaudit/platform/live_host.h"
#include "grpaudit/platform/sdk_transport.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::python {

SharedObject::SharedObject(py::object obj) : obj_(std::move(obj)) {}

SharedObject::~SharedObject() {
  py::gil_scoped_acquire gil;
  obj_ = py::object();
}

namespace {

// An SDK shell in Python: an object with run(cmd) -> str and
// gettable(table, fields, start, entries) -> [{field: int}]. It raises
// grpaudit.ShellTimeout where a shell does not answer in time.
class PythonShell : public asicterm::asicterm {
 public:
  explicit PythonShell(std::shared_ptr<SharedObject> shell) : shell_(std::move(shell)) {}

  std::string run(const std::string& cmd) override {
    py::gil_scoped_acquire gil;
    const py::object out = call([&] { return shell_->get().attr("run")(cmd); });
    if (!py::isinstance<py::str>(out))
      throw py::type_error("the SDK shell's run() returned " + type_name(out) + ", not str");
    return out.cast<std::string>();
  }

  std::vector<::asicterm::Fields> gettable(const std::string& table, bool fields,
                                           std::int64_t start, std::int64_t entries) override {
    py::gil_scoped_acquire gil;
    const py::object out =
        call([&] { return shell_->get().attr("gettable")(table, fields, start, entries); });
    try {
      return out.cast<std::vector<::asicterm::Fields>>();
    } catch (const py::cast_error&) {
      throw py::type_error("the SDK shell's gettable() returned " + type_name(out) +
                           ", not a list of dicts of field name to int");
    }
  }

 private:
  static std::string type_name(const py::handle& h) {
    return py::str(py::type::handle_of(h).attr("__name__")).cast<std::string>();
  }

  // The shell's time-out is the library's, which each reader turns into
  // its own error; every other exception passes through as it is.
  template <typename Call>
  static py::object call(Call&& fn) {
    try {
      return fn();
    } catch (py::error_already_set& e) {
      if (e.matches(shell_timeout_type()))
        throw ShellIoError(py::str(e.value()).cast<std::string>());
      throw;
    }
  }

  std::shared_ptr<SharedObject> shell_;
};

bool is_path(const py::handle& h) {
  return py::isinstance<py::str>(h) ||
         py::isinstance(h, py::module_::import("os").attr("PathLike"));
}

std::string fspath(const py::handle& h) {
  return py::module_::import("os").attr("fspath")(h).cast<std::string>();
}

// The items of a dict, or the pairs of any other iterable.
py::iterable pairs_of(const py::handle& h) {
  if (py::isinstance<py::dict>(h)) return h.attr("items")();
  return py::reinterpret_borrow<py::iterable>(h);
}

std::string repr_of(const py::handle& h) {
  return py::repr(h).cast<std::string>();
}

struct SnapshotPlatform : PythonPlatform {
  std::string path;
};

struct LiveSwitchPlatform : PythonPlatform {};

std::unique_ptr<SnapshotPlatform> open_snapshot(const py::object& path) {
  auto p = std::make_unique<SnapshotPlatform>();
  p->path = fspath(path);
  p->description = "grpaudit.Snapshot(" + repr_of(py::str(p->path)) + ")";
  py::gil_scoped_release nogil;
  p->platform = platform::load_replay_platform(p->path);
  return p;
}

std::unique_ptr<LiveSwitchPlatform> open_live_switch(const py::object& sdk_shell,
                                                     const py::object& port_table,
                                                     const py::object& vrf_map,
                                                     const PythonPlatform* host) {
  auto p = std::make_unique<LiveSwitchPlatform>();
  p->description = "grpaudit.LiveSwitch(sdk_shell=" + repr_of(sdk_shell) +
                   ", port_table=" + repr_of(port_table) + ", vrf_map=" + repr_of(vrf_map) +
                   (host != nullptr ? ", host=" + host->description : std::string()) + ")";

  // The tables are read now, so that a bad one fails before the switch is
  // asked anything; each Asic gets its own copy.
  if (is_path(port_table)) {
    const std::string path = fspath(port_table);
    (void)platform::load_port_table(path);
    p->platform.port_table = [path] { return platform::load_port_table(path); };
  } else {
    std::vector<std::pair<std::string, std::string>> ports;
    try {
      for (const auto& item : pairs_of(port_table))
        ports.push_back(item.cast<std::pair<std::string, std::string>>());
    } catch (const py::cast_error&) {
      throw py::type_error(
          "port_table must be a file name, or a dict or pairs of SDK port (str) "
          "to Linux port (str)");
    }
    (void)platform::make_port_table(ports);
    p->platform.port_table = [ports] { return platform::make_port_table(ports); };
  }

  if (vrf_map.is_none() || is_path(vrf_map)) {
    const std::string path = vrf_map.is_none() ? std::string() : fspath(vrf_map);
    (void)platform::load_vrf_map(path);
    p->platform.vrf_db = [path] { return platform::load_vrf_map(path); };
  } else {
    std::map<std::int64_t, std::string> names;
    try {
      for (const auto& item : pairs_of(vrf_map)) {
        const auto [id, name] = item.cast<std::pair<std::int64_t, std::string>>();
        names[id] = name;
      }
    } catch (const py::cast_error&) {
      throw py::type_error(
          "vrf_map must be None, a file name, or a dict or pairs of VRF id (int) to name (str)");
    }
    p->platform.vrf_db = [names] { return platform::make_vrf_db(names); };
  }

  if (py::isinstance<py::str>(sdk_shell)) {
    const std::string cmd = sdk_shell.cast<std::string>();
    p->platform.sdk_shell = [cmd](int timeout_seconds) {
      return platform::make_sdk_transport(cmd, platform::sdk_timeout(timeout_seconds));
    };
  } else if (py::hasattr(sdk_shell, "run") && py::hasattr(sdk_shell, "gettable")) {
    auto shell = std::make_shared<SharedObject>(sdk_shell);
    p->platform.sdk_shell = [shell](int) { return std::make_unique<PythonShell>(shell); };
  } else {
    throw py::type_error(
        "sdk_shell must be a command line (str) or an object with run(cmd) and "
        "gettable(table, fields, start, entries)");
  }
  p->platform.host =
      host != nullptr ? host->platform.host : platform::with_link_batch(platform::make_live_host());
  return p;
}

}  // namespace

void bind_platforms(py::module_& m) {
  py::class_<PythonPlatform>(m, "Platform",
                             "Where an Asic reads the switch from: a Snapshot or a LiveSwitch.")
      .def("__repr__", [](const PythonPlatform& p) { return p.description; });

  py::class_<SnapshotPlatform, PythonPlatform>(
      m, "Snapshot", "A recorded switch, replayed: every answer comes from the snapshot file.")
      .def(py::init(&open_snapshot), py::arg("path"))
      .def_property_readonly("path", [](const SnapshotPlatform& p) { return p.path; });

  py::class_<LiveSwitchPlatform, PythonPlatform>(
      m, "LiveSwitch",
      "The switch this process runs on. sdk_shell: the transport command line that runs one SDK "
      "command (given as its last argument), or an object with run(cmd) and gettable(table, "
      "fields, start, entries). port_table: a file of \"<sdk port> <linux port>\" lines, or a "
      "dict (or pairs) of SDK port to Linux port. vrf_map: None (VRF 0 is \"default\"), a file "
      "of \"<id> <name>\" lines, or a dict (or pairs) of id to name. host: None (this machine), or "
      "a Snapshot whose recorded Linux "
      "side answers every command and file read instead.")
      .def(py::init(&open_live_switch), py::arg("sdk_shell"), py::arg("port_table"),
           py::arg("vrf_map") = py::none(), py::arg("host") = py::none());
}

}  // namespace grpaudit::python
