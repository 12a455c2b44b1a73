#include "switch_gen.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace grpaudit::switchgen {
namespace {

// splitmix64: the same sequence on every platform, which the standard
// distributions do not promise.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

 private:
  std::uint64_t state_;
};

// Every route-th (or group-th) element out of this many is spoiled one way.
constexpr std::size_t kFaultPeriod = 200;
constexpr std::size_t kIifFault = 3;          // route: wrong L3 IIF in the ASIC
constexpr std::size_t kMissingInHw = 7;       // route: only the kernel has it
constexpr std::size_t kMissingInKernel = 11;  // route: only the ASIC has it
constexpr std::size_t kDroppedCopy = 13;      // group: one routed copy missing
constexpr std::size_t kExtraBridged = 17;     // group: one bridged copy too many

constexpr std::size_t kRoutedCopies = 8;
constexpr std::size_t kBridgedCopies = 16;
constexpr std::int64_t kNhiBase = 100000;
constexpr std::int64_t kL3IifBase = 16384;
const char* const kVrfNames[] = {"default", "blue", "green", "red"};
constexpr int kVrfTableBase = 1000;

struct Port {
  std::string sdk;
  std::string linux_name;
  std::int64_t logical;
  std::int64_t pvid = 1;
};

// A port of the VLAN-aware bridge: a front-panel port or a bond of them.
struct BridgeDev {
  std::string name;
  std::vector<std::size_t> phys;  // front-panel ports it stands for
};

struct BridgeVlan {
  std::int64_t vid;
  std::vector<std::size_t> members;  // bridge devices, the untagged one first
  std::size_t untagged_port;         // the front-panel port of members[0]
  std::vector<std::size_t> phys;     // every front-panel port, sorted
  std::int64_t intf = 0;
};

// A routed VLAN sub-interface of a port or a bond; the ASIC carries it in
// internal VLAN `ivid` and translates it to `wire_vid` on each link.
struct Subif {
  std::string name;
  std::string lower;
  std::vector<std::size_t> links;
  std::int64_t wire_vid;
  std::int64_t ivid;
  std::int64_t intf = 0;
};

// A routed port: untagged in a VLAN of its own, which is also its port VID.
struct RoutedPort {
  std::size_t port;
  std::int64_t vlan;
  std::int64_t intf = 0;
};

// What one kernel interface of a route stands for in the ASIC.
struct Oif {
  std::string name;
  std::int64_t hw_vlan;                                      // the VLAN packets arrive in, as IIF
  std::vector<std::pair<std::size_t, std::int64_t>> copies;  // (port, L3 interface)
};

struct Group {
  std::size_t index;  // multicast index; the group id adds the type bits
  std::string addr;
  std::size_t vrf;
  Oif iif;
  std::vector<std::size_t> bridged;  // front-panel ports of bridged copies
  std::vector<Oif> oil;
  bool faulty = false;
};

std::size_t scaled(double base, double scale, std::size_t min) {
  const double v = std::round(base * scale);
  return std::max(min, v < 1 ? std::size_t{0} : static_cast<std::size_t>(v));
}

std::string ip4(std::uint32_t a) {
  return fmt::format("{}.{}.{}.{}", a >> 24, (a >> 16) & 0xff, (a >> 8) & 0xff, a & 0xff);
}

std::uint32_t ip4_value(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return (a << 24) | (b << 16) | (c << 8) | d;
}

class Builder {
 public:
  explicit Builder(const Params& p) : rng_(p.seed ^ 0x6772706175646974ULL), scale_(p.scale) {}

  Generated build() {
    make_ports();
    make_bridge();
    make_subifs();
    make_l3();
    make_groups();
    make_special_routes();
    write_sdk();
    write_kernel();
    out_.expected.ports = ports_.size();
    out_.expected.vlans = vlans_.size();
    out_.expected.groups = groups_.size();
    for (const char* s : {"ok", "mismatch", "missing-in-hw", "missing-in-kernel", "originated",
                          "terminated", "unresolved"}) {
      out_.expected.statuses.try_emplace(s, 0);
    }
    return std::move(out_);
  }

 private:
  // --- the model -----------------------------------------------------------

  void make_ports() {
    const std::size_t n = scaled(128, scale_, 16);
    n_bonds_ = std::max<std::size_t>(4, n / 16);
    n_routed_ = std::max<std::size_t>(2, n / 8);
    n_access_ = n - 2 * n_bonds_ - n_routed_;
    for (std::size_t i = 0; i < n; ++i) {
      ports_.push_back(Port{fmt::format("xe{}", i), fmt::format("swp{}", i + 1),
                            static_cast<std::int64_t>(i + 1)});
    }
  }

  std::size_t bond_link(std::size_t bond, std::size_t k) const { return n_access_ + 2 * bond + k; }

  void make_bridge() {
    for (std::size_t i = 0; i < n_access_; ++i) devs_.push_back({ports_[i].linux_name, {i}});
    // The first half of the bonds are bridge ports, the others are routed.
    for (std::size_t b = 0; b < n_bonds_ / 2; ++b) {
      devs_.push_back({fmt::format("bond{}", b + 1), {bond_link(b, 0), bond_link(b, 1)}});
    }
    std::size_t all_phys = 0;
    for (const auto& d : devs_) all_phys += d.phys.size();
    const std::size_t per_vlan = std::min(kBridgedCopies, all_phys);

    const std::size_t n_vlans = scaled(4000, scale_, 8);
    for (std::size_t k = 0; k < n_vlans; ++k) {
      BridgeVlan v;
      v.vid = static_cast<std::int64_t>(2 + k);
      v.untagged_port = rng_.below(n_access_);
      v.members.push_back(v.untagged_port);
      std::size_t phys = 1;
      for (std::size_t tries = 0; phys < per_vlan && tries < 1000; ++tries) {
        const std::size_t d = rng_.below(devs_.size());
        if (std::find(v.members.begin(), v.members.end(), d) != v.members.end()) continue;
        if (phys + devs_[d].phys.size() > per_vlan) continue;
        v.members.push_back(d);
        phys += devs_[d].phys.size();
      }
      for (const std::size_t d : v.members) {
        v.phys.insert(v.phys.end(), devs_[d].phys.begin(), devs_[d].phys.end());
      }
      std::sort(v.phys.begin(), v.phys.end());
      vlans_.push_back(std::move(v));
    }
    for (const auto& v : vlans_) {
      if (ports_[v.untagged_port].pvid == 1) ports_[v.untagged_port].pvid = v.vid;
    }
    dev_vlans_.resize(devs_.size());
    for (std::size_t k = 0; k < vlans_.size(); ++k) {
      for (const std::size_t d : vlans_[k].members) dev_vlans_[d].push_back(k);
    }

    // Multicast router ports: access ports, each in the VLANs it carries.
    const std::size_t n_rports = std::max<std::size_t>(1, ports_.size() / 32);
    for (std::size_t j = 0; j < n_rports; ++j) {
      router_ports_.push_back(j * n_access_ / n_rports + n_access_ / (2 * n_rports));
    }
  }

  void make_subifs() {
    // Internal VLANs start at the first thousand above the bridge's VLANs.
    std::int64_t next_ivid = (static_cast<std::int64_t>(vlans_.size()) + 2) / 1000 * 1000 + 1000;
    for (std::size_t r = 0; r < n_routed_; ++r) {
      const std::size_t port = n_access_ + 2 * n_bonds_ + r;
      routed_.push_back({port, next_ivid++});
      ports_[port].pvid = routed_.back().vlan;
    }
    const std::size_t n_xlate = scaled(2000, scale_, 8);
    const std::size_t n_bond_subifs = std::max<std::size_t>(2, n_xlate / 20);
    const std::size_t n_routed_bonds = n_bonds_ - n_bonds_ / 2;
    for (std::size_t j = 0; j < n_bond_subifs; ++j) {
      const std::size_t bond = n_bonds_ / 2 + j % n_routed_bonds;
      const std::int64_t wire = 100 + static_cast<std::int64_t>(j / n_routed_bonds);
      const std::string lower = fmt::format("bond{}", bond + 1);
      subifs_.push_back({fmt::format("{}.{}", lower, wire),
                         lower,
                         {bond_link(bond, 0), bond_link(bond, 1)},
                         wire,
                         next_ivid++});
    }
    const std::size_t n_port_subifs = n_xlate - 2 * n_bond_subifs;
    for (std::size_t j = 0; j < n_port_subifs; ++j) {
      const RoutedPort& rp = routed_[j % n_routed_];
      const std::int64_t wire = 100 + static_cast<std::int64_t>(j / n_routed_);
      const std::string& lower = ports_[rp.port].linux_name;
      subifs_.push_back({fmt::format("{}.{}", lower, wire), lower, {rp.port}, wire, next_ivid++});
    }
    for (const auto& s : subifs_) {
      for (const std::size_t l : s.links)
        xlates_.push_back({ports_[l].logical, s.wire_vid, s.ivid});
    }
    out_.expected.translations = xlates_.size();
  }

  void make_l3() {
    std::int64_t intf = 1;
    for (auto& v : vlans_) add_l3(v.intf, intf++, v.vid);
    for (auto& r : routed_) add_l3(r.intf, intf++, r.vlan);
    for (auto& s : subifs_) add_l3(s.intf, intf++, s.ivid);
  }

  void add_l3(std::int64_t& slot, std::int64_t intf, std::int64_t vlan) {
    slot = intf;
    l3_.emplace_back(intf, vlan);
    l3iif_[vlan] = kL3IifBase + static_cast<std::int64_t>(l3iif_.size());
  }

  static std::int64_t nhi(std::int64_t intf) { return kNhiBase + intf; }

  Oif svi_oif(std::size_t k) const {
    return Oif{fmt::format("vlan{}", vlans_[k].vid), vlans_[k].vid, {}};
  }

  Oif subif_oif(const Subif& s) const {
    Oif o{s.name, s.ivid, {}};
    for (const std::size_t l : s.links) o.copies.emplace_back(l, s.intf);
    return o;
  }

  Oif routed_oif(const RoutedPort& r) const {
    return Oif{ports_[r.port].linux_name, r.vlan, {{r.port, r.intf}}};
  }

  // An SVI whose group the multicast database lists: its listeners and the
  // router ports of its VLAN get the copies.
  Oif svi_with_mdb_entry(std::size_t k, const std::string& addr) {
    Oif o = svi_oif(k);
    const BridgeVlan& v = vlans_[k];
    const std::size_t n_listeners = 1 + rng_.below(2);
    std::vector<std::size_t> listeners;
    for (std::size_t tries = 0; listeners.size() < n_listeners && tries < 16; ++tries) {
      const std::size_t d = v.members[rng_.below(v.members.size())];
      if (std::find(listeners.begin(), listeners.end(), d) == listeners.end()) {
        listeners.push_back(d);
      }
    }
    std::set<std::size_t> phys;
    for (const std::size_t d : listeners) {
      mdb_lines_ += fmt::format("dev br0 port {} grp {} temp vid {}   {}.{:02}\n", devs_[d].name,
                                addr, v.vid, 100 + rng_.below(160), rng_.below(100));
      phys.insert(devs_[d].phys.begin(), devs_[d].phys.end());
    }
    for (const std::size_t rp : router_ports_) {
      if (std::binary_search(v.phys.begin(), v.phys.end(), rp)) phys.insert(rp);
    }
    for (const std::size_t p : phys) o.copies.emplace_back(p, v.intf);
    ++out_.expected.mdb_entries;
    return o;
  }

  void make_groups() {
    const std::size_t n_groups = scaled(16000, scale_, 8);
    for (std::size_t g = 0; g < n_groups; ++g) {
      Group grp;
      grp.index = g + 1;
      grp.addr = ip4(ip4_value(239, 1 + static_cast<std::uint32_t>(g >> 16),
                               static_cast<std::uint32_t>(g >> 8) & 0xff,
                               static_cast<std::uint32_t>(g) & 0xff));
      grp.vrf = g % 4;

      // Most routes arrive on an SVI of the bridge and are bridged inside its
      // VLAN too; the others arrive on a routed port or sub-interface.
      std::size_t in_vlan = vlans_.size();
      switch (g % 20) {
        case 18:
          grp.iif = subif_oif(subifs_[rng_.below(subifs_.size())]);
          break;
        case 19:
          grp.iif = routed_oif(routed_[rng_.below(routed_.size())]);
          break;
        default:
          in_vlan = rng_.below(vlans_.size());
          grp.iif = svi_oif(in_vlan);
          grp.bridged = vlans_[in_vlan].phys;
          break;
      }

      std::set<std::string> names{grp.iif.name};
      std::size_t copies = 0;
      if (g % 2 == 0 && vlans_.size() > 1) {
        std::size_t k = rng_.below(vlans_.size() - 1);
        if (k >= in_vlan) ++k;
        grp.oil.push_back(svi_with_mdb_entry(k, grp.addr));
        names.insert(grp.oil.back().name);
        copies += grp.oil.back().copies.size();
      }
      for (std::size_t tries = 0; copies < kRoutedCopies && tries < 100; ++tries) {
        const std::size_t kind = rng_.below(10);
        Oif o;
        if (kind < 6) {
          o = subif_oif(subifs_[rng_.below(subifs_.size())]);
        } else if (kind < 8) {
          o = routed_oif(routed_[rng_.below(routed_.size())]);
        } else {
          o = subif_oif(subifs_[rng_.below(subifs_.size())]);
          if (o.copies.size() < 2) continue;  // bond sub-interfaces only
        }
        if (copies + o.copies.size() > kRoutedCopies || names.contains(o.name)) continue;
        names.insert(o.name);
        copies += o.copies.size();
        grp.oil.push_back(std::move(o));
      }
      grp.faulty = g % kFaultPeriod == kDroppedCopy || g % kFaultPeriod == kExtraBridged;
      groups_.push_back(std::move(grp));
    }
  }

  // --- routes -------------------------------------------------------------

  struct HwRoute {
    std::string src, grp;
    std::size_t index;
    std::int64_t iif;
    std::size_t vrf;
  };
  struct KernelRoute {
    std::string src, grp, iif;
    std::vector<std::string> oil;
    std::size_t vrf;
    bool unresolved = false;
  };

  void count(const char* status) { ++out_.expected.statuses[status]; }

  void make_special_routes() {
    std::size_t index = groups_.size();
    for (const Group& g : groups_) {
      for (std::uint32_t k = 0; k < 2; ++k) {
        const std::size_t r = 2 * (g.index - 1) + k;
        const std::string src = ip4(ip4_value(10, 1 + k, static_cast<std::uint32_t>(r >> 9) & 0xff,
                                              static_cast<std::uint32_t>(r >> 1) & 0xff));
        const std::int64_t iif = l3iif_.at(g.iif.hw_vlan);
        const std::size_t f = r % kFaultPeriod;
        if (f != kMissingInHw) {
          hw_.push_back({src, g.addr, g.index, f == kIifFault ? iif + 1 : iif, g.vrf});
        }
        if (f != kMissingInKernel) {
          KernelRoute kr{src, g.addr, g.iif.name, {}, g.vrf};
          for (const Oif& o : g.oil) kr.oil.push_back(o.name);
          kernel_.push_back(std::move(kr));
        }
        if (f == kMissingInKernel) {
          count("missing-in-kernel");
        } else if (f == kMissingInHw) {
          count("missing-in-hw");
        } else if (f == kIifFault || g.faulty) {
          count("mismatch");
        } else {
          count("ok");
        }
      }
    }

    // Routes the switch terminates, originates, or has not resolved yet.
    const std::size_t n_special = std::max<std::size_t>(1, groups_.size() / 1000);
    for (std::uint32_t i = 0; i < n_special; ++i) {
      const std::size_t k = rng_.below(vlans_.size());
      const std::string term_grp = ip4(ip4_value(239, 255, i >> 8, i & 0xff));
      hw_.push_back({"0.0.0.0", term_grp, ++index, l3iif_.at(vlans_[k].vid), 0});
      term_groups_.push_back(index);
      kernel_.push_back({"0.0.0.0", term_grp, svi_oif(k).name, {"ipmr-lo"}, 0});
      count("terminated");

      kernel_.push_back({ip4(ip4_value(10, 250, i >> 8, i & 0xff)),
                         ip4(ip4_value(239, 254, i >> 8, i & 0xff)),
                         "lo",
                         {svi_oif(rng_.below(vlans_.size())).name},
                         0});
      count("originated");

      KernelRoute u{ip4(ip4_value(10, 251, i >> 8, i & 0xff)),
                    ip4(ip4_value(239, 253, i >> 8, i & 0xff)),
                    "unresolved",
                    {},
                    0};
      u.unresolved = true;
      kernel_.push_back(std::move(u));
      count("unresolved");
    }
    out_.expected.hw_routes = hw_.size();
    out_.expected.kernel_routes = kernel_.size();
  }

  // --- SDK listings -------------------------------------------------------

  std::string port_list(const std::vector<std::size_t>& sorted) const {
    std::string out;
    for (std::size_t i = 0; i < sorted.size();) {
      std::size_t j = i;
      while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
      if (!out.empty()) out += ',';
      out += ports_[sorted[i]].sdk;
      if (j > i) out += "-" + ports_[sorted[j]].sdk;
      i = j + 1;
    }
    return out;
  }

  static std::uint32_t bitmap_word(const std::vector<std::size_t>& ports) {
    std::uint32_t word = 0;
    for (const std::size_t p : ports) word |= 1u << ((p + 1) % 32);
    return word;
  }

  void vlan_show(std::int64_t vid, const std::vector<std::size_t>& members, std::size_t untagged) {
    const std::vector<std::size_t> u{untagged};
    const std::string list = port_list(u);
    sdk(fmt::format("vlan show {}", vid),
        fmt::format("vlan {}\tports {} (0x{:08x}), untagged {} (0x{:08x}) MCAST_FLOOD_UNKNOWN\n",
                    vid, port_list(members), bitmap_word(members), list, bitmap_word(u)));
    sdk("ports " + list,
        "                 ena/        speed/ link auto    STP                  lrn  inter   max  "
        " cut   loop\n"
        "           port  link  Lns   duplex scan neg?   state   pause  discrd ops   face frame "
        " thru?  back\n" +
            fmt::format("{:>10}({:>3})  up     1   10G  FD   SW  No   Forward          None   FA "
                        "   SFI  9412    No\n",
                        ports_[untagged].sdk, ports_[untagged].logical));
  }

  void sdk(const std::string& cmd, std::string out) {
    out_.snapshot.sdk_commands[cmd] = std::move(out);
  }

  void write_sdk() {
    std::string s = "          pipe  logical  physical  idb  mmu  ucode\n";
    for (const Port& p : ports_) {
      s += fmt::format("{:<10}0     {:<9}{:<10}{:<5}{:<5}{}\n", p.sdk, p.logical, p.logical,
                       p.logical, p.logical, p.logical);
    }
    // A management port the port table does not name.
    const std::size_t ce = ports_.size() + 1;
    s += fmt::format("{:<10}0     {:<9}{:<10}{:<5}{:<5}{}\n", "ce0", ce, ce, ce, ce, ce);
    sdk("show portmap", std::move(s));

    s.clear();
    for (const Port& p : ports_) s += fmt::format("Port {} default VLAN is {}\n", p.sdk, p.pvid);
    s += "Port ce0 default VLAN is 1\n";
    sdk("pvlan show", std::move(s));

    s = fmt::format(
        "Unit 0, free L3INTF entries: {}\n"
        "Unit  Intf  VRF Group VLAN    Source Mac     MTU TTL Tunnel InnerVlan  NATRealm\n"
        "------------------------------------------------------------------------------\n",
        l3_.size() < 16384 ? 16384 - l3_.size() : 0);
    for (const auto& [intf, vlan] : l3_) {
      s += fmt::format(
          "0     {:<5} 0   0     {:<4} 44:38:39:00:00:01 9216 0   0      0          0\n", intf,
          vlan);
    }
    sdk("l3 intf show", std::move(s));

    s.clear();
    for (const auto& [lport, wire, ivid] : xlates_) {
      s += fmt::format("modid = 0 port = {}, old_vid={}, new_vid={}, prio=-1\n", lport, wire, ivid);
    }
    sdk("vlan translate show", std::move(s));

    sdk("sc L3IngressMode", "0x1\n");
    sdk("listmem VLAN",
        "Memory: VLAN.ipipe0 address 0x1c000000\n"
        "Flags: valid cachable\n"
        "Entries: 4096 with indices 0-4095 (0x0-0xfff), each 44 bytes 11 words\n"
        "Entry mask: 0xffffffff 0xffffffff 0xffffffff 0xffffffff 0x000fffff\n"
        "Fields: 5\n"
        "    VALID<0>\n"
        "    STG<9:1>\n"
        "    L3_IIF<22:10>\n"
        "    PORT_BITMAP<150:23>\n"
        "    EVEN_PARITY<343>\n");
    auto& vlan_table = out_.snapshot.sdk_tables["VLAN"];
    for (const auto& [vlan, iif] : l3iif_) vlan_table[std::to_string(vlan)] = {{"L3_IIF", iif}};

    // Routed copies ask for the untagged ports of their VLAN, unless a
    // translation answers first.
    for (const auto& v : vlans_) vlan_show(v.vid, v.phys, v.untagged_port);
    for (const auto& r : routed_) vlan_show(r.vlan, {r.port}, r.port);

    write_groups();
    write_routes();
  }

  void write_groups() {
    std::string s;
    s.reserve(groups_.size() * 640);
    const auto member = [&](std::size_t port, std::int64_t encap) {
      fmt::format_to(std::back_inserter(s), "\tport {}, encap id {}\n", ports_[port].sdk, encap);
    };
    for (const Group& g : groups_) {
      fmt::format_to(std::back_inserter(s), "Group 0x{:x} (IPMC)\n", 0x2000000 + g.index);
      std::vector<std::pair<std::size_t, std::int64_t>> routed;
      for (const Oif& o : g.oil) routed.insert(routed.end(), o.copies.begin(), o.copies.end());
      const std::size_t g0 = g.index - 1;
      if (g0 % kFaultPeriod == kDroppedCopy && !routed.empty()) routed.pop_back();
      for (const auto& [port, intf] : routed) member(port, nhi(intf));
      for (const std::size_t port : g.bridged) member(port, -1);
      if (g0 % kFaultPeriod == kExtraBridged) member(routed_.front().port, -1);
      if (g0 % 50 == 0) s += "\tport cpu0, encap id -1\n";
      // A bridged-only group of the same VLAN, which routes never use.
      if (g0 % 500 == 0) {
        fmt::format_to(std::back_inserter(s), "Group 0x{:x} (L2)\n", 0x1000000 + g.index);
        for (const std::size_t port : g.bridged) member(port, -1);
      }
    }
    for (const std::size_t index : term_groups_) {
      fmt::format_to(std::back_inserter(s), "Group 0x{:x} (IPMC)\n\tport cpu0, encap id -1\n",
                     0x2000000 + index);
    }
    sdk("multicast show", std::move(s));
  }

  static std::uint32_t addr_value(const std::string& dotted) {
    std::uint32_t v = 0;
    std::uint32_t part = 0;
    for (const char c : dotted) {
      if (c == '.') {
        v = (v << 8) | part;
        part = 0;
      } else {
        part = part * 10 + static_cast<std::uint32_t>(c - '0');
      }
    }
    return (v << 8) | part;
  }

  void write_routes() {
    std::string table =
        "SRC IP ADDRESS    MC IP ADDRESS     GROUP       VLAN  VRF  Hit  Cos\n"
        "------------------------------------------------------------------------\n";
    std::string mem;
    table.reserve(hw_.size() * 80);
    mem.reserve(hw_.size() * 200);
    std::size_t entry = 2048;
    for (const HwRoute& r : hw_) {
      fmt::format_to(std::back_inserter(table), "{:<18}{:<18}0x{:<10x}{:<6}{:<5}y    0\n", r.src,
                     r.grp, r.index, r.iif, r.vrf);
      fmt::format_to(std::back_inserter(mem), "L3_ENTRY_IPV4_MULTICAST.ipipe0[{}]: <", entry);
      if (r.vrf != 0) fmt::format_to(std::back_inserter(mem), "VRF_ID={},", r.vrf);
      mem += "VALID_1=1,VALID_0=1,";
      const std::uint32_t src = addr_value(r.src);
      if (src != 0) fmt::format_to(std::back_inserter(mem), "SOURCE_IP_ADDR=0x{:x},", src);
      fmt::format_to(std::back_inserter(mem),
                     "L3MC_INDEX={:x},KEY_TYPE_1=7,KEY_TYPE_0=6,GROUP_IP_ADDR=0x{:x},"
                     "EXPECTED_L3_IIF=0x{:x}>\n",
                     r.index, addr_value(r.grp), r.iif);
      entry += 4;
      // Free slots of the memory print their key bits only.
      if (entry % 256 == 0) {
        fmt::format_to(std::back_inserter(mem),
                       "L3_ENTRY_IPV4_MULTICAST.ipipe0[{}]: <KEY_TYPE_1=7,KEY_TYPE_0=6>\n", entry);
        entry += 4;
      }
    }
    sdk("ipmc table show", std::move(table));
    sdk("dump chg l3_entry_ipv4_multicast", std::move(mem));

    auto& vrfs = out_.snapshot.vrfs;
    for (std::size_t i = 0; i < std::size(kVrfNames); ++i) vrfs[std::to_string(i)] = kVrfNames[i];
  }

  // --- kernel -------------------------------------------------------------

  void host_cmd(const std::string& cmd, std::string out, int status = 0) {
    out_.snapshot.host_commands[cmd] = platform::HostCommand{status, std::move(out)};
  }

  void link_show(const std::string& dev, std::size_t ifindex, const std::string& kind_line) {
    host_cmd("/bin/ip -d link show " + dev,
             fmt::format("{}: {}: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 9216 qdisc noqueue state "
                         "UP mode DEFAULT group default qlen 1000\n"
                         "    link/ether 44:38:39:00:00:aa brd ff:ff:ff:ff:ff:ff promiscuity 0 "
                         "minmtu 68 maxmtu 65535 \n"
                         "    {}\n",
                         ifindex, dev, kind_line));
  }

  void write_kernel() {
    auto& snap = out_.snapshot;
    snap.description = fmt::format(
        "Generated large switch: {} ports, {} VLANs on the VLAN-aware bridge br0 (RIOT on), {} "
        "VLAN translations, {} replication groups, {} hardware routes in {} VRFs, {} multicast "
        "database entries.",
        ports_.size(), vlans_.size(), xlates_.size(), groups_.size(), hw_.size(),
        std::size(kVrfNames), out_.expected.mdb_entries);
    for (const Port& p : ports_) {
      snap.linux_ports.push_back(p.linux_name);
      snap.sdk_to_linux[p.sdk] = p.linux_name;
    }

    host_cmd("ls /quorvex/hwprogd/debug/mroute/info", "", 2);
    std::string s = "mroute debug info\n";
    for (const auto& [intf, vlan] : l3_) {
      s += fmt::format("intf {} vlan {} nhi {} mac 44:38:39:00:00:01\n", intf, vlan, nhi(intf));
    }
    host_cmd("cat /quorvex/hwprogd/debug/mroute/info", std::move(s));

    std::size_t ifindex = ports_.size() + 2;
    link_show("br0", ifindex++,
              "bridge forward_delay 1500 hello_time 200 max_age 2000 ageing_time 30000 "
              "stp_state 0 priority 32768 vlan_filtering 1 vlan_protocol 802.1Q");
    snap.host_files["/sys/class/net/br0/bridge/vlan_filtering"] = "1\n";
    std::vector<std::string> brif;
    for (const auto& d : devs_) brif.push_back(d.name);
    std::sort(brif.begin(), brif.end());
    snap.host_dirs["/sys/class/net/br0/brif"] = brif;

    for (std::size_t b = 0; b < n_bonds_; ++b) {
      const std::string bond = fmt::format("bond{}", b + 1);
      link_show(bond, ifindex++,
                "bond mode 802.3ad miimon 100 updelay 0 downdelay 0 use_carrier 1 "
                "xmit_hash_policy layer3+4");
      snap.host_dirs["/sys/class/net/" + bond + "/bonding"] = {"slaves", "mode", "miimon"};
      snap.host_files["/sys/class/net/" + bond + "/bonding/slaves"] =
          ports_[bond_link(b, 0)].linux_name + " " + ports_[bond_link(b, 1)].linux_name + "\n";
    }

    std::string vlan_config =
        "VLAN Dev name    | VLAN ID\nName-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD\n";
    const auto vlan_dev = [&](const std::string& name, std::int64_t vid, const std::string& lower) {
      link_show(name, ifindex++,
                fmt::format("vlan protocol 802.1Q id {} <REORDER_HDR> addrgenmode eui64", vid));
      fmt::format_to(std::back_inserter(vlan_config), "{:<15}| {:<5}| {}\n", name, vid, lower);
    };
    for (const auto& v : vlans_) vlan_dev(fmt::format("vlan{}", v.vid), v.vid, "br0");
    for (const auto& sub : subifs_) vlan_dev(sub.name, sub.wire_vid, sub.lower);
    snap.host_files["/proc/net/vlan/config"] = std::move(vlan_config);

    write_bridge_vlans();
    write_mdb();
    write_kernel_routes();
  }

  void write_bridge_vlans() {
    std::string s = "[";
    for (std::size_t d = 0; d < devs_.size(); ++d) {
      if (d > 0) s += ", ";
      fmt::format_to(std::back_inserter(s), "{{\"ifname\": \"{}\", \"vlans\": [", devs_[d].name);
      for (std::size_t i = 0; i < dev_vlans_[d].size(); ++i) {
        const BridgeVlan& v = vlans_[dev_vlans_[d][i]];
        if (i > 0) s += ", ";
        if (v.members.front() == d) {
          fmt::format_to(std::back_inserter(s),
                         "{{\"vlan\": {}, \"flags\": [\"Egress Untagged\"]}}", v.vid);
        } else {
          fmt::format_to(std::back_inserter(s), "{{\"vlan\": {}}}", v.vid);
        }
      }
      s += "]}";
    }
    s += ", {\"ifname\": \"br0\", \"vlans\": [{\"vlan\": 1, \"flags\": [\"PVID\", \"Egress "
         "Untagged\"]}";
    for (const auto& v : vlans_) fmt::format_to(std::back_inserter(s), ", {{\"vlan\": {}}}", v.vid);
    s += "]}]\n";
    host_cmd("/sbin/bridge -j vlan show", std::move(s));
  }

  void write_mdb() {
    // Link-local IPv6 groups share the table; the check skips them.
    for (std::size_t i = 0; i < std::min<std::size_t>(vlans_.size(), 32); ++i) {
      mdb_lines_ += fmt::format("dev br0 port {} grp ff02::fb temp vid {}   101.40\n",
                                devs_[vlans_[i].members.front()].name, vlans_[i].vid);
    }
    for (const std::size_t rp : router_ports_) {
      const std::string& name = ports_[rp].linux_name;
      mdb_lines_ += fmt::format("router ports on br0: {}   254.71 temp\n", name);
      std::string s = "port\tvlan ids\n";
      bool first = true;
      for (const std::size_t k : dev_vlans_[rp]) {
        const BridgeVlan& v = vlans_[k];
        s += first ? name + "\t " : "\t ";
        first = false;
        s += std::to_string(v.vid);
        if (v.untagged_port == rp) s += " Egress Untagged";
        s += "\n";
      }
      s += "\n";
      host_cmd("/sbin/bridge vlan show dev " + name, std::move(s));
    }
    host_cmd("/sbin/bridge -d -s mdb show dev br0", std::move(mdb_lines_));
  }

  void write_kernel_routes() {
    std::string vrfs = "[";
    for (std::size_t i = 1; i < std::size(kVrfNames); ++i) {
      if (i > 1) vrfs += ", ";
      fmt::format_to(std::back_inserter(vrfs),
                     "{{\"ifindex\": {}, \"ifname\": \"{}\", \"flags\": [\"NOARP\", \"MASTER\", "
                     "\"UP\", \"LOWER_UP\"], \"mtu\": 65575, \"linkinfo\": {{\"info_kind\": "
                     "\"vrf\", \"info_data\": {{\"table\": {}}}}}}}",
                     ports_.size() + i, kVrfNames[i], kVrfTableBase + i);
    }
    vrfs += "]\n";
    host_cmd("/bin/ip -j -d link show type vrf", std::move(vrfs));

    // Listed table by table, as the kernel does.
    std::string s = "[";
    s.reserve(kernel_.size() * 200);
    bool first = true;
    for (std::size_t vrf = 0; vrf < std::size(kVrfNames); ++vrf) {
      for (const KernelRoute& r : kernel_) {
        if (r.vrf != vrf) continue;
        s += first ? "{" : ",{";
        first = false;
        if (vrf != 0)
          fmt::format_to(std::back_inserter(s), "\"table\":\"{}\",", kVrfTableBase + vrf);
        fmt::format_to(std::back_inserter(s), "\"src\":\"{}\",\"dst\":\"{}\",\"iif\":\"{}\"", r.src,
                       r.grp, r.iif);
        if (!r.oil.empty()) {
          s += ",\"multipath\":[";
          for (std::size_t i = 0; i < r.oil.size(); ++i) {
            fmt::format_to(std::back_inserter(s), "{}{{\"oif\":\"{}\",\"ttl\":1}}",
                           i > 0 ? "," : "", r.oil[i]);
          }
          s += "]";
        }
        s += r.unresolved ? ",\"state\":\"unresolved\"}" : ",\"state\":\"resolved\"}";
      }
    }
    s += "]\n";
    host_cmd("/bin/ip -j mroute show table all", std::move(s));
  }

  Rng rng_;
  double scale_;
  std::size_t n_bonds_ = 0, n_routed_ = 0, n_access_ = 0;
  std::vector<Port> ports_;
  std::vector<BridgeDev> devs_;
  std::vector<std::vector<std::size_t>> dev_vlans_;  // bridge device to its VLANs
  std::vector<BridgeVlan> vlans_;
  std::vector<std::size_t> router_ports_;
  std::vector<RoutedPort> routed_;
  std::vector<Subif> subifs_;
  std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> xlates_;  // lport, wire, ivid
  std::vector<std::pair<std::int64_t, std::int64_t>> l3_;                     // intf, VLAN
  std::map<std::int64_t, std::int64_t> l3iif_;                                // VLAN to L3 IIF
  std::vector<Group> groups_;
  std::vector<HwRoute> hw_;
  std::vector<KernelRoute> kernel_;
  std::vector<std::size_t> term_groups_;
  std::string mdb_lines_;
  Generated out_;
};

}  // namespace

Generated generate(const Params& params) {
  return Builder(params).build();
}

}  // namespace grpaudit::switchgen
