// grpaudit.audit: the audit of every route, and its report, which gives
// the content of the command's JSON report as plain dicts and lists.
//
// A large switch has hundreds of thousands of routes: the report holds the
// library's result and makes a route's dict when it is asked for, so an
// audit costs what the library's does, and a caller that looks at the
// faulty routes only pays for those. The routes name the same few thousand
// interfaces and groups: each text becomes a Python string once, and the
// dictionaries' keys are interned.

#include <pybind11/stl.h>

#include <absl/container/flat_hash_map.h>

#include <array>
#include <string_view>

#include "bindings.h"
#include "grpaudit/check/audit.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/records/route_key.h"

namespace grpaudit::python {
namespace {

using check::AuditResult;
using check::RouteResult;
using check::Status;

py::object steal(PyObject* o) {
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

py::object text(std::string_view s) {
  return steal(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace"));
}

py::object number(std::int64_t n) {
  return steal(PyLong_FromLongLong(n));
}

// What an audit found, kept as the library gives it: the result points into
// the kernel's routes, which the report holds, and into the Asic's tables,
// which it keeps alive. The hardware routes' messages are copied: a later
// audit of the same Asic starts them afresh.
class Report {
 public:
  Report(py::object asic_object, std::unique_ptr<std::map<std::string, kern::KernelRoute>> kernel,
         AuditResult result)
      : asic_object_(std::move(asic_object)),
        kernel_(std::move(kernel)),
        result_(std::move(result)),
        messages_(result_.routes.size()),
        identities_(result_.identities.size()) {
    for (std::size_t i = 0; i < result_.routes.size(); ++i) {
      if (const Hmroute* h = result_.routes[i].hardware) {
        messages_[i] = h->iif_mismatch;
        messages_[i].insert(messages_[i].end(), h->oil_mismatch.begin(), h->oil_mismatch.end());
      }
    }
  }

  std::size_t size() const { return result_.routes.size(); }
  std::size_t faults() const { return result_.faults(); }

  // The route at `i` (negative: from the end), as the JSON report's.
  py::object route_at(std::int64_t i) {
    const auto n = static_cast<std::int64_t>(size());
    if (i < 0) i += n;
    if (i < 0 || i >= n) throw py::index_error("route index out of range");
    return route(static_cast<std::size_t>(i));
  }

  py::list routes(bool faulty_only) {
    const CollectorOff off;
    py::list out;
    for (std::size_t i = 0; i < size(); ++i) {
      if (!faulty_only || check::is_fault(result_.routes[i].status)) out.append(route(i));
    }
    return out;
  }

  py::dict summary() {
    py::dict out;
    for (const auto& [s, n] : result_.summary()) out[status(s)] = n;
    return out;
  }

  py::list warnings() { return strings(result_.warnings); }

  // The whole report: what `grpaudit check --json` prints, parsed.
  py::dict to_dict() {
    const CollectorOff off;
    py::list all = list(size());
    for (std::size_t i = 0; i < size(); ++i) put(all, i, route(i));
    py::dict out;
    out["routes"] = all;
    out["summary"] = summary();
    if (!result_.warnings.empty()) out["warnings"] = warnings();
    return out;
  }

  // "9 routes, 5 faults", as the command's summary line begins.
  std::string line() const {
    const std::size_t n = size(), f = faults();
    return std::to_string(n) + (n == 1 ? " route, " : " routes, ") +
           (f == 0 ? std::string("no faults")
                   : std::to_string(f) + (f == 1 ? " fault" : " faults"));
  }

 private:
  // Hundreds of thousands of new lists and dicts, none in a cycle: the
  // collector would walk them again and again as they are made.
  struct CollectorOff {
    int was_on = PyGC_Disable();
    CollectorOff() = default;
    CollectorOff(const CollectorOff&) = delete;
    CollectorOff& operator=(const CollectorOff&) = delete;
    ~CollectorOff() {
      if (was_on) PyGC_Enable();
    }
  };

  static void set(const py::object& dict, const py::object& key, const py::object& value) {
    if (PyDict_SetItem(dict.ptr(), key.ptr(), value.ptr()) != 0) throw py::error_already_set();
  }

  static py::object list(std::size_t n) { return steal(PyList_New(static_cast<Py_ssize_t>(n))); }

  static void put(const py::object& list, std::size_t i, const py::object& item) {
    PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), item.inc_ref().ptr());
  }

  const py::object& status(Status s) {
    py::object& o = statuses_[static_cast<std::size_t>(s)];
    if (!o) o = text(check::status_name(s));
    return o;
  }

  // An interface name or message: few distinct texts, met again and again.
  const py::object& name(std::string_view s) {
    auto it = names_.find(absl::string_view(s.data(), s.size()));
    if (it == names_.end()) it = names_.emplace(std::string(s), text(s)).first;
    return it->second;
  }

  py::object strings(const std::vector<std::string>& texts) {
    py::object out = list(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) put(out, i, name(texts[i]));
    return out;
  }

  py::object identities(const std::vector<std::uint32_t>& ids) {
    py::object out = list(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      py::object& o = identities_[ids[i]];
      if (!o) o = text(result_.identities[ids[i]]);
      put(out, i, o);
    }
    return out;
  }

  // The replication identities of a route's group, sorted; none when the
  // group is missing.
  const std::pair<std::vector<py::object>, std::vector<py::object>>& group(const RouteResult& r) {
    auto [it, added] =
        groups_.try_emplace(std::pair<const void*, std::int64_t>(r.groups, r.hardware->grp));
    if (added) {
      check::hardware_identities(r, l3_, l2_);
      for (const auto& s : l3_) it->second.first.push_back(name(s));
      for (const auto& s : l2_) it->second.second.push_back(name(s));
    }
    return it->second;
  }

  py::object copied(const std::vector<py::object>& items) {
    py::object out = list(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) put(out, i, items[i]);
    return out;
  }

  py::object route(std::size_t i) {
    const RouteResult& r = result_.routes[i];
    py::object d = steal(PyDict_New());
    set(d, key_.key, text(r.key));
    set(d, key_.status, status(r.status));
    if (r.kernel != nullptr) {
      py::object k = steal(PyDict_New());
      set(k, key_.iif, name(r.kernel->iif));
      set(k, key_.oil, strings(r.kernel->oil));
      set(d, key_.kernel, k);
    } else {
      set(d, key_.kernel, py::none());
    }
    if (r.hardware != nullptr) {
      py::object h = steal(PyDict_New());
      set(h, key_.iif, number(r.hardware->iif));
      set(h, key_.group, number(r.hardware->grp));
      const auto& [l3, l2] = group(r);
      set(h, key_.l3, copied(l3));
      set(h, key_.l2, copied(l2));
      set(d, key_.hardware, h);
    } else {
      set(d, key_.hardware, py::none());
    }
    if (r.expected) {
      py::object e = steal(PyDict_New());
      set(e, key_.iif, r.expected->iif ? number(*r.expected->iif) : py::none());
      set(e, key_.l3, identities(r.expected->l3));
      set(e, key_.l2, identities(r.expected->l2));
      set(d, key_.expected, e);
    }
    set(d, key_.messages, strings(messages_[i]));
    if (r.first) {
      py::object f = steal(PyDict_New());
      set(f, key_.status, status(r.first->status));
      set(f, key_.messages, strings(r.first->messages));
      set(d, key_.first, f);
    }
    return d;
  }

  // The dictionaries' keys, interned.
  struct Keys {
    py::object key = intern("key"), status = intern("status"), kernel = intern("kernel"),
               hardware = intern("hardware"), expected = intern("expected"),
               messages = intern("messages"), first = intern("first"), iif = intern("iif"),
               oil = intern("oil"), group = intern("group"), l3 = intern("l3"), l2 = intern("l2");
    static py::object intern(const char* s) { return steal(PyUnicode_InternFromString(s)); }
  };

  py::object asic_object_;
  std::unique_ptr<std::map<std::string, kern::KernelRoute>> kernel_;
  AuditResult result_;
  std::vector<std::vector<std::string>> messages_;
  Keys key_;
  std::array<py::object, 9> statuses_;
  std::vector<py::object> identities_;
  absl::flat_hash_map<std::string, py::object> names_;
  absl::flat_hash_map<std::pair<const void*, std::int64_t>,
                      std::pair<std::vector<py::object>, std::vector<py::object>>>
      groups_;
  std::vector<std::string> l3_, l2_;
};

std::unique_ptr<Report> audit(py::object self,
                              const std::optional<std::vector<std::string>>& keys) {
  PythonAsic& a = self.cast<PythonAsic&>();
  const std::vector<std::string> selected = keys.value_or(std::vector<std::string>{});
  for (const auto& key : selected) {
    if (!split_route_key(key).vrf) throw py::value_error(not_a_route_key(key));
  }
  const Busy busy(a);
  Asic& asic = *a.asic;
  auto kernel = std::make_unique<std::map<std::string, kern::KernelRoute>>();
  AuditResult result;
  {
    py::gil_scoped_release nogil;
    *kernel = kern::read_kernel_routes(*asic.host(), &asic.warnings());
    result = asic.audit(*kernel, selected);
  }
  return std::make_unique<Report>(std::move(self), std::move(kernel), std::move(result));
}

}  // namespace

void bind_audit(py::module_& m) {
  py::class_<Report>(
      m, "Report",
      "What an audit found. to_dict() is the content of `grpaudit check --json`; the routes are "
      "made into dicts of that form as they are asked for.")
      .def("__len__", &Report::size)
      .def("__getitem__", &Report::route_at, py::arg("index"), "The route at `index`, as a dict.")
      .def("__iter__", [](Report& r) { return py::iter(r.routes(false)); })
      .def_property_readonly(
          "routes", [](Report& r) { return r.routes(false); },
          "Every route, in byte-wise order of key, as dicts.")
      .def(
          "faulty_routes", [](Report& r) { return r.routes(true); },
          "The routes whose status is a fault (mismatch, missing-in-hw, missing-in-kernel).")
      .def_property_readonly("summary", &Report::summary, "The count of every status.")
      .def_property_readonly("warnings", &Report::warnings,
                             "What the readers tolerated (empty when nothing).")
      .def_property_readonly("faults", &Report::faults, "The number of faulty routes.")
      .def("to_dict", &Report::to_dict,
           "{'routes': [...], 'summary': {...}} and 'warnings' where there are any: what "
           "`grpaudit check --json` prints, parsed.")
      .def("__repr__", [](const Report& r) { return "<grpaudit.Report: " + r.line() + ">"; });

  m.def("audit", &audit, py::arg("asic"), py::arg("keys") = py::none(),
        "Audits every route of the kernel and of the ASIC (only those named by `keys`) and "
        "returns the Report.");
}

}  // namespace grpaudit::python
