// grpaudit.Asic: the library's Asic, its tables as read-only views.

#include <pybind11/stl.h>

#include <sstream>

#include "bindings.h"
#include "grpaudit/check/audit.h"
#include "views.h"

namespace grpaudit::python {

Busy::Busy(PythonAsic& a) : a_(a) {
  check_not_busy(a_);
  a_.worker = std::this_thread::get_id();
  ++a_.depth;
}

Busy::~Busy() {
  if (--a_.depth == 0) a_.worker = std::thread::id();
}

void check_not_busy(const PythonAsic& a) {
  if (a.depth > 0 && a.worker != std::this_thread::get_id())
    throw std::runtime_error("this Asic is in use by another thread");
}

namespace {

// A checker in Python for routes the switch originates or terminates: an
// object with check_orig_mroute(asic, src, grp) and check_term_mroute(src,
// grp), or any callable, called as checker("originated" or "terminated",
// src, grp). Its answer is taken for its truth.
class PythonChecker : public MrouteChecker {
 public:
  PythonChecker(py::object checker, py::object asic)
      : checker_(std::move(checker)), asic_(std::move(asic)) {}

  bool check_orig_mroute(Asic&, const std::optional<std::string>& src,
                         const std::optional<std::string>& grp) override {
    py::gil_scoped_acquire gil;
    if (py::hasattr(checker_, "check_orig_mroute"))
      return py::bool_(checker_.attr("check_orig_mroute")(asic_, src, grp));
    return py::bool_(checker_("originated", src, grp));
  }

  bool check_term_mroute(const std::optional<std::string>& src,
                         const std::optional<std::string>& grp) override {
    py::gil_scoped_acquire gil;
    if (py::hasattr(checker_, "check_term_mroute"))
      return py::bool_(checker_.attr("check_term_mroute")(src, grp));
    return py::bool_(checker_("terminated", src, grp));
  }

 private:
  py::object checker_;
  py::object asic_;
};

Asic& asic_of(PythonAsic& a) {
  check_not_busy(a);
  return *a.asic;
}

template <typename Map>
MapView<Map> view(const PythonAsic& a, const Map& map) {
  check_not_busy(a);
  return {&map, &a};
}

}  // namespace

void bind_asic(py::module_& m) {
  bind_map_view<std::map<std::string, Hmroute>>(m, "HmrouteTable");
  bind_map_view<std::map<std::int64_t, ReplicationGroup>>(m, "ReplicationGroupTable");
  bind_map_view<std::map<std::int64_t, VlanEntry>>(m, "VlanTable");
  bind_map_view<std::map<std::string, KernDevEntry>>(m, "KernDevTable");
  bind_map_view<std::map<std::string, KernMdbCache>>(m, "KernMdbTable");
  bind_map_view<std::map<std::int64_t, KernVlanEntry>>(m, "KernVlanTable");
  bind_map_view<std::map<std::string, KernVlanDevEntry>>(m, "KernVlanDevTable");

  // A table of the Asic as a view that keeps the Asic alive.
  const auto table = [](auto member) {
    return py::cpp_function([member](const PythonAsic& a) { return view(a, (*a.asic).*member); },
                            py::keep_alive<0, 1>());
  };
  // A value of the Asic, copied.
  const auto value = [](auto member) {
    return py::cpp_function([member](PythonAsic& a) { return asic_of(a).*member; });
  };

  py::class_<PythonAsic>(
      m, "Asic",
      "One switch as the checker sees it: construction reads every ASIC table the comparison "
      "needs through the platform's SDK shell; kernel state is read when needed and kept.")
      .def(py::init([](const PythonPlatform& p, bool use_mem_table, bool debug) {
             auto a = std::make_unique<PythonAsic>();
             py::gil_scoped_release nogil;
             a->asic = std::make_unique<Asic>(p.platform, use_mem_table, debug);
             return a;
           }),
           py::arg("platform"), py::arg("use_mem_table") = false, py::arg("debug") = false,
           py::keep_alive<1, 2>())
      .def_property_readonly("mroutes", table(&Asic::mroutes))
      .def_property_readonly("replication_groups", table(&Asic::replication_groups))
      .def_property_readonly("vlans", table(&Asic::vlans))
      .def_property_readonly("kern_dev_cache", table(&Asic::kern_dev_cache))
      .def_property_readonly("kern_mdb_cache", table(&Asic::kern_mdb_cache))
      .def_property_readonly("kern_vlan_cache", table(&Asic::kern_vlan_cache))
      .def_property_readonly("kern_vlan_dev_cache", table(&Asic::kern_vlan_dev_cache))
      .def_property_readonly("desc", value(&Asic::desc))
      .def_property_readonly("debug", value(&Asic::debug))
      .def_property_readonly("linux_ports", value(&Asic::linux_ports))
      .def_property_readonly("portmap", value(&Asic::portmap))
      .def_property_readonly("l3_intfs", value(&Asic::l3_intfs))
      .def_property_readonly("l3_intf_nhi", value(&Asic::l3_intf_nhi))
      .def_property_readonly("vlan_xlate", value(&Asic::vlan_xlate))
      .def_property_readonly("vlan_riot", value(&Asic::vlan_riot))
      .def_property_readonly("riot_enable", value(&Asic::riot_enable))
      .def_property_readonly("vlan_riot_memtable", value(&Asic::vlan_riot_memtable))
      .def_property_readonly("kern_br_cache", value(&Asic::kern_br_cache))
      .def_property_readonly(
          "warnings", [](PythonAsic& a) { return asic_of(a).warnings().texts(); },
          "What the readers tolerated so far (a command that fell back, a file that could not "
          "be read), in the order met.")
      .def(
          "mroute_eq",
          [](py::object self, const std::string& key, const std::string& iif,
             const std::vector<std::string>& oil, py::object checker) {
            PythonAsic& a = self.cast<PythonAsic&>();
            const Busy busy(a);
            check::AcceptingChecker accepting;
            PythonChecker python(checker, self);
            MrouteChecker& ul_mcast =
                checker.is_none() ? static_cast<MrouteChecker&>(accepting) : python;
            py::gil_scoped_release nogil;
            return a.asic->mroute_eq(key, iif, oil, ul_mcast);
          },
          py::arg("key"), py::arg("iif"), py::arg("oil"), py::arg("checker") = py::none(),
          "Whether the hardware route of `key` forwards as the kernel route with incoming "
          "interface `iif` and outgoing interfaces `oil` does. Mismatches are added to the "
          "route's iif_mismatch and oil_mismatch. Originated and terminated routes are the "
          "checker's to judge (None accepts them).")
      .def(
          "get_mroutes", [](PythonAsic& a) { return asic_of(a).get_mroutes(); },
          "The keys of the hardware's routes.")
      .def(
          "dump_mroutes",
          [](PythonAsic& a, const std::optional<std::vector<std::string>>& keys) {
            const Busy busy(a);
            std::ostringstream out;
            {
              py::gil_scoped_release nogil;
              a.asic->dump_mroutes(keys.value_or(std::vector<std::string>{}), out);
            }
            return out.str();
          },
          py::arg("keys") = py::none(),
          "The dumps of the routes named by `keys`, in its order (all routes in key order when "
          "None), as the text `grpaudit dump` prints.")
      .def("__repr__", [](PythonAsic& a) { return asic_of(a).str(); });
}

}  // namespace grpaudit::python
