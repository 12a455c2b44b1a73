// The record types as read-only Python classes; repr() is their text form.

#include <pybind11/stl.h>

#include "bindings.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/records/kern_records.h"

namespace grpaudit::python {
namespace {

// A record class without a constructor or setters, shown as its text form.
template <typename Record>
py::class_<Record> record(py::module_& m, const char* name, const char* doc) {
  py::class_<Record> c(m, name, doc);
  c.def("__repr__", &Record::str).def("__str__", &Record::str);
  return c;
}

}  // namespace

void bind_records(py::module_& m) {
  record<Hmroute>(m, "Hmroute", "One multicast route of the ASIC.")
      .def_readonly("sip", &Hmroute::sip)
      .def_readonly("dip", &Hmroute::dip)
      .def_readonly("iif", &Hmroute::iif)
      .def_readonly("kernel_iif", &Hmroute::kernel_iif)
      .def_readonly("grp", &Hmroute::grp)
      .def_readonly("iif_mismatch", &Hmroute::iif_mismatch)
      .def_readonly("oil_mismatch", &Hmroute::oil_mismatch)
      .def_readonly("vrf", &Hmroute::vrf);

  record<Encap>(m, "Encap", "One replication entry: where a copy leaves the ASIC.")
      .def_readonly("linux_port", &Encap::linux_port)
      .def_readonly("bcm_dport", &Encap::bcm_dport)
      .def_readonly("intf", &Encap::intf)
      .def_readonly("vlan", &Encap::vlan)
      .def_readonly("evid", &Encap::evid)
      .def("encap2swp", &Encap::encap2swp);

  record<ReplicationGroup>(m, "ReplicationGroup", "One multicast replication group of the ASIC.")
      .def_readonly("mcast_grp", &ReplicationGroup::mcast_grp)
      .def_readonly("l2_encaps", &ReplicationGroup::l2_encaps)
      .def_readonly("l3_encaps", &ReplicationGroup::l3_encaps)
      .def("get_l3_linux_encaps", &ReplicationGroup::get_l3_linux_encaps)
      .def("get_l2_linux_encaps", &ReplicationGroup::get_l2_linux_encaps);

  record<PortmapEntry>(m, "PortmapEntry", "One front-panel port.")
      .def_readonly("dport", &PortmapEntry::dport)
      .def_readonly("logical_port", &PortmapEntry::logical_port)
      .def_readonly("linux_port", &PortmapEntry::linux_port)
      .def_readonly("port_vid", &PortmapEntry::port_vid);

  record<VlanEntry>(m, "VlanEntry", "One ASIC VLAN with its untagged member ports.")
      .def_readonly("vid", &VlanEntry::vid)
      .def_readonly("untagged_dports", &VlanEntry::untagged_dports);

  record<VlanXlate>(m, "VlanXlate", "One VLAN translation of a port.")
      .def_readonly("lport", &VlanXlate::lport)
      .def_readonly("ivid", &VlanXlate::ivid)
      .def_readonly("evid", &VlanXlate::evid);

  record<KernDevEntry>(m, "KernDevEntry", "One kernel net device and its kind.")
      .def_readonly("dev", &KernDevEntry::dev)
      .def_readonly("kind", &KernDevEntry::kind)
      .def_readonly("vlan_filtering", &KernDevEntry::vlan_filtering);

  record<KernVlanDevEntry>(m, "KernVlanDevEntry", "One kernel VLAN device.")
      .def_readonly("dev", &KernVlanDevEntry::dev)
      .def_readonly("vid", &KernVlanDevEntry::vid)
      .def_readonly("atlink", &KernVlanDevEntry::atlink);

  record<KernVlanEntry>(m, "KernVlanEntry", "One VLAN of the kernel's bridge VLAN table.")
      .def_readonly("vid", &KernVlanEntry::vid)
      .def_readonly("tagged_swp", &KernVlanEntry::tagged_swp)
      .def_readonly("untagged_swp", &KernVlanEntry::untagged_swp);

  record<KernMdbEntry>(m, "KernMdbEntry", "The receiving ports of one group of a bridge.")
      .def_readonly("grp", &KernMdbEntry::grp)
      .def_readonly("vid", &KernMdbEntry::vid)
      .def_readonly("swp", &KernMdbEntry::swp);

  record<KernMdbCache>(m, "KernMdbCache", "The multicast database of one bridge.")
      .def_readonly("dev", &KernMdbCache::dev)
      .def_readonly("vlan_filtering", &KernMdbCache::vlan_filtering)
      .def_property_readonly("mdb_entries",
                             [](const KernMdbCache& c) {
                               py::dict out;  // in the order the kernel listed them
                               for (const auto& [key, entry] : c.mdb_entries)
                                 out[py::cast(key)] = py::cast(entry);
                               return out;
                             })
      .def_property_readonly("mdb_rports", [](const KernMdbCache& c) {
        py::dict out;
        for (const auto& [vid, rports] : c.mdb_rports) out[py::cast(vid)] = py::cast(rports.swp);
        return out;
      });
}

}  // namespace grpaudit::python
