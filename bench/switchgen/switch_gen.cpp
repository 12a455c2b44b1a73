#include "switch_gen.h"

#include "grpaudit/util/text.h"
#include "layout.h"

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
  explicit Builder(const Params& p)
      : rng_(p.seed ^ 0x6772706175646974ULL), scale_(p.scale), layout_(p.layout) {}

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
      mdb_lines_ += fmt::format("dev br0 port {} grp {} temp vid {}{}{}.{:02}\n", devs_[d].name,
                                addr, v.vid, timer_gap(), 100 + rng_.below(160), rng_.below(100));
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
    // The VLAN's number and its untagged ports, each after one blank, on one line.
    sdk(fmt::format("vlan show {}", vid),
        layout_.lines(
            fmt::format("vlan {}{}ports {} (0x{:08x}), untagged {} (0x{:08x}){}"
                        "MCAST_FLOOD_UNKNOWN\n",
                        vid, layout_.is_default() ? "\t" : layout_.gap(), port_list(members),
                        bitmap_word(members), list, bitmap_word(u), layout_.gap()),
            {.blanks = true}));
    // Two title lines, then one port per line, named by its first word.
    const Port& p = ports_[untagged];
    std::string rows =
        "                 ena/        speed/ link auto    STP                  lrn  inter   max  "
        " cut   loop\n"
        "           port  link  Lns   duplex scan neg?   state   pause  discrd ops   face frame "
        " thru?  back\n";
    if (layout_.is_default()) {
      rows += fmt::format(
          "{:>10}({:>3})  up     1   10G  FD   SW  No   Forward          None   FA "
          "   SFI  9412    No\n",
          p.sdk, p.logical);
    } else {
      rows += fmt::format("{}{}({}){}", layout_.gap(), p.sdk, p.logical, layout_.gap());
      for (const char* word :
           {"up", "1", "10G", "FD", "SW", "No", "Forward", "None", "FA", "SFI", "9412", "No"}) {
        rows += word;
        rows += layout_.gap();
      }
      rows += "\n";
    }
    sdk("ports " + list, layout_.lines(std::move(rows), {}));
  }

  void sdk(const std::string& cmd, std::string out) {
    out_.snapshot.sdk_commands[cmd] = std::move(out);
  }

  void write_sdk() {
    // The port name has no title; "logical" titles the column after it.
    Table portmap(layout_,
                  {{"          "},
                   {"pipe  "},
                   {"logical  "},
                   {"physical  "},
                   {"idb  "},
                   {"mmu  "},
                   {"ucode"}},
                  Table::Extras::kAnywhere);
    std::string s = portmap.header() + "\n";
    const auto port_row = [&](const std::string& sdk_name, std::int64_t n) {
      portmap.row(s, {fmt::format("{:<10}", sdk_name), "0     ", fmt::format("{:<9}", n),
                      fmt::format("{:<10}", n), fmt::format("{:<5}", n), fmt::format("{:<5}", n),
                      fmt::format("{}", n)});
    };
    for (const Port& p : ports_) port_row(p.sdk, p.logical);
    // A management port the port table does not name.
    port_row("ce0", static_cast<std::int64_t>(ports_.size() + 1));
    sdk("show portmap", layout_.lines(std::move(s), {}));

    std::vector<std::string> pvlan;
    for (const Port& p : ports_)
      pvlan.push_back(fmt::format("Port {} default VLAN is {}", p.sdk, p.pvid));
    pvlan.push_back("Port ce0 default VLAN is 1");
    layout_.shuffle(pvlan);
    s.clear();
    for (const auto& line : pvlan) {
      s += line;
      if (layout_.one_in(4)) s += std::string(layout_.gap()) + "(untagged)";
      s += "\n";
    }
    sdk("pvlan show", layout_.lines(std::move(s), {.blanks = true,
                                                   .trailer = {"Total 2 port VLANs"},
                                                   .banner = {"Unit 0 port VLANs:"}}));

    write_l3_intfs();

    s.clear();
    for (const auto& [lport, wire, ivid] : xlates_) s += xlate_line(lport, wire, ivid);
    sdk("vlan translate show", layout_.lines(std::move(s), {}));

    sdk("sc L3IngressMode",
        layout_.lines(layout_.one_in(2) ? " 0x00000001 \n" : "0x1\n", {.blanks = true}));
    sdk("listmem VLAN",
        layout_.lines("Memory: VLAN.ipipe0 address 0x1c000000\n"
                      "Flags: valid cachable\n"
                      "Entries: 4096 with indices 0-4095 (0x0-0xfff), each 44 bytes 11 words\n"
                      "Entry mask: 0xffffffff 0xffffffff 0xffffffff 0xffffffff 0x000fffff\n"
                      "Fields: 5\n"
                      "    VALID<0>\n"
                      "    STG<9:1>\n"
                      "    L3_IIF<22:10>\n"
                      "    PORT_BITMAP<150:23>\n"
                      "    EVEN_PARITY<343>\n",
                      {.blanks = true}));
    auto& vlan_table = out_.snapshot.sdk_tables["VLAN"];
    for (const auto& [vlan, iif] : l3iif_) vlan_table[std::to_string(vlan)] = {{"L3_IIF", iif}};

    // Routed copies ask for the untagged ports of their VLAN, unless a
    // translation answers first.
    for (const auto& v : vlans_) vlan_show(v.vid, v.phys, v.untagged_port);
    for (const auto& r : routed_) vlan_show(r.vlan, {r.port}, r.port);

    write_groups();
    write_routes();
  }

  void write_l3_intfs() {
    // "Intf" and "VLAN" are found by their titles, without correction: a
    // title longer than its value stands after both.
    Table intfs(layout_,
                {{"Unit  "},
                 {"Intf  "},
                 {"VRF "},
                 {"Group "},
                 {"VLAN    "},
                 {"Source Mac     ", 1},
                 {"MTU "},
                 {"TTL "},
                 {"Tunnel "},
                 {"InnerVlan  "},
                 {"NATRealm"}},
                Table::Extras::kAnywhere);
    std::string s =
        fmt::format("Unit 0, free L3INTF entries: {}\n",
                    l3_.size() < 16384 ? 16384 - l3_.size() : 0) +
        intfs.header() +
        "\n------------------------------------------------------------------------------\n";
    for (const auto& [intf, vlan] : l3_) {
      intfs.row(
          s, {"0     ", fmt::format("{:<5} ", intf), "0   ", "0     ", fmt::format("{:<4} ", vlan),
              "44:38:39:00:00:01 ", "9216 ", "0   ", "0      ", "0          ", "0"});
    }
    // Rows with fewer words than VLAN's position are skipped.
    const std::int64_t vlan_at = intfs.word_position("VLAN");
    Layout::Lines lines{.head = 3, .blanks = vlan_at > 0};
    if (vlan_at > 1) lines.trailer = {"--"};
    sdk("l3 intf show", layout_.lines(std::move(s), lines));

    // Egress objects by word position: the id first, the MAC second, the
    // L3 multicast field eleventh; nothing among the rows.
    Table egress(layout_,
                 {{"Entry  ", 0},
                  {"Mac                 ", 1},
                  {"Vlan ", 2},
                  {"INTF ", 3},
                  {"PORT ", 4},
                  {"MOD ", 5},
                  {"MPLS_LABEL ", 6},
                  {"ToCpu ", 7},
                  {"Drop ", 8},
                  {"RefCount ", 9},
                  {"L3MC", 10}},
                 Table::Extras::kAtEnd);
    s = "Unit 0, egress objects:\n" + egress.header() + "\n--\n";
    for (const auto& [intf, vlan] : l3_) {
      egress.row(s, {fmt::format("{}  ", nhi(intf)), "44:38:39:00:00:01   ",
                     fmt::format("{:<4} ", vlan), fmt::format("{:<4} ", intf), "xe0  ", "0    ",
                     "-1         ", "no    ", "no   ", "2        ", intf % 2 == 0 ? "yes" : "no"});
    }
    sdk("l3 egress show", layout_.lines(std::move(s), {}));
  }

  // One translation: its fields by name, separated by commas, in any order.
  std::string xlate_line(std::int64_t lport, std::int64_t wire, std::int64_t ivid) {
    if (layout_.is_default()) {
      return fmt::format("modid = 0 port = {}, old_vid={}, new_vid={}, prio=-1\n", lport, wire,
                         ivid);
    }
    const auto eq = [this] {
      static constexpr std::string_view kEq[] = {"=", " = ", "\t=", "= "};
      return kEq[layout_.below(std::size(kEq))];
    };
    std::vector<std::string> fields{layout_.one_in(3) ? fmt::format("port{}{}", eq(), lport)
                                                      : fmt::format("modid = 0 port = {}", lport),
                                    fmt::format("old_vid{}{}", eq(), wire),
                                    fmt::format("new_vid{}{}", eq(), ivid),
                                    fmt::format("prio{}-1", eq())};
    if (layout_.one_in(3)) fields.push_back(fmt::format("keep{}0", eq()));
    layout_.shuffle(fields);
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) line += layout_.one_in(2) ? "," : std::string(",") + std::string(layout_.gap());
      line += fields[i];
    }
    return line + "\n";
  }

  void write_groups() {
    std::string s;
    s.reserve(groups_.size() * 640);
    // A member line starts with white space; its port and encap id are
    // written as the pattern has them, and what follows the id is not read.
    const auto member = [&](std::size_t port, std::int64_t encap) {
      if (layout_.is_default()) {
        fmt::format_to(std::back_inserter(s), "\tport {}, encap id {}\n", ports_[port].sdk, encap);
        return;
      }
      static constexpr std::string_view kIndents[] = {"\t", "  ", " \t", "        "};
      fmt::format_to(std::back_inserter(s), "{}port {}, encap id {}{}\n",
                     kIndents[layout_.below(std::size(kIndents))], ports_[port].sdk, encap,
                     layout_.one_in(4) ? std::string(layout_.gap()) + "(valid)" : "");
    };
    const auto header = [&](std::size_t id, std::string_view type) {
      switch (layout_.below(3)) {
        case 0:
          fmt::format_to(std::back_inserter(s), "Group 0x{:x} ({})\n", id, type);
          break;
        case 1:
          fmt::format_to(std::back_inserter(s), "Group{}{:x}{}{}\n", layout_.gap(), id,
                         layout_.gap(), type);
          break;
        default:
          fmt::format_to(std::back_inserter(s), "Group 0X{:X} {}\n", id, type);
          break;
      }
    };
    for (const Group& g : groups_) {
      header(0x2000000 + g.index, "IPMC");
      std::vector<std::pair<std::size_t, std::int64_t>> routed;
      for (const Oif& o : g.oil) routed.insert(routed.end(), o.copies.begin(), o.copies.end());
      const std::size_t g0 = g.index - 1;
      if (g0 % kFaultPeriod == kDroppedCopy && !routed.empty()) routed.pop_back();
      for (const auto& [port, intf] : routed) member(port, nhi(intf));
      for (const std::size_t port : g.bridged) member(port, -1);
      if (g0 % kFaultPeriod == kExtraBridged) member(routed_.front().port, -1);
      if (g0 % 50 == 0) member_cpu(s);
      // A bridged-only group of the same VLAN, which routes never use.
      if (g0 % 500 == 0) {
        header(0x1000000 + g.index, "L2");
        for (const std::size_t port : g.bridged) member(port, -1);
      }
    }
    for (const std::size_t index : term_groups_) {
      header(0x2000000 + index, "IPMC");
      member_cpu(s);
    }
    sdk("multicast show", layout_.lines(std::move(s), {.blanks = true,
                                                       .trailer = {"Total 2 multicast groups"},
                                                       .banner = {"Unit 0 multicast:"}}));
  }

  void member_cpu(std::string& s) {
    s += layout_.is_default() ? "\t" : layout_.gap();
    s += "port cpu0, encap id -1\n";
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
    // "SRC" and "MC" are titled with three words and hold one: they stand
    // first, in this order, where the reader's corrections expect them.
    Table ipmc(layout_,
               {{"SRC IP ADDRESS    ", 0},
                {"MC IP ADDRESS     ", 1},
                {"GROUP       ", 2},
                {"VLAN  ", 2},
                {"VRF  ", 2},
                {"Hit  ", 2},
                {"Cos", 2}},
               Table::Extras::kAnywhere);
    std::string table = ipmc.header() + "\n";
    table += layout_.one_in(3)
                 ? "\n"
                 : "------------------------------------------------------------------------\n";
    std::string mem;
    table.reserve(hw_.size() * 80);
    mem.reserve(hw_.size() * 200);
    std::vector<std::size_t> order(hw_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    layout_.shuffle(order);
    std::size_t entry = 2048;
    for (const std::size_t i : order) {
      const HwRoute& r = hw_[i];
      ipmc.row(table, {fmt::format("{:<18}", r.src), fmt::format("{:<18}", r.grp), group_field(r),
                       fmt::format("{:<6}", r.iif), fmt::format("{:<5}", r.vrf), "y    ", "0"});
      fmt::format_to(std::back_inserter(mem), "L3_ENTRY_IPV4_MULTICAST.ipipe0[{}]: <{}>\n", entry,
                     mem_fields(r));
      entry += 4;
      // Free slots of the memory print their key bits only.
      if (entry % 256 == 0) {
        fmt::format_to(std::back_inserter(mem),
                       "L3_ENTRY_IPV4_MULTICAST.ipipe0[{}]: <KEY_TYPE_1=7,KEY_TYPE_0=6>\n", entry);
        entry += 4;
      }
    }
    // A route row has more words than GROUP's position less four (at least
    // two); a line of one word is skipped.
    sdk("ipmc table show",
        layout_.lines(std::move(table), {.head = 2, .blanks = true, .trailer = {"----"}}));
    sdk("dump chg l3_entry_ipv4_multicast",
        layout_.lines(std::move(mem), {.blanks = true,
                                       .trailer = {"Total entries: 2"},
                                       .banner = {"Unit 0 L3_ENTRY_IPV4_MULTICAST:"}}));

    auto& vrfs = out_.snapshot.vrfs;
    for (std::size_t i = 0; i < std::size(kVrfNames); ++i) vrfs[std::to_string(i)] = kVrfNames[i];
  }

  // The route's group index, with or without the prefix, the group type
  // bits or capitals.
  std::string group_field(const HwRoute& r) {
    switch (layout_.below(4)) {
      case 0:
        return fmt::format("0x{:<10x}", r.index);
      case 1:
        return fmt::format("{:x}", r.index);
      case 2:
        return fmt::format("0x{:x}", 0x2000000 + r.index);
      default:
        return fmt::format("0X{:X}", r.index);
    }
  }

  // An entry's fields, NAME=VALUE by commas, in any order among fields no
  // reader knows, with the numbers written in any of the forms read.
  std::string mem_fields(const HwRoute& r) {
    const std::uint32_t src = addr_value(r.src);
    if (layout_.is_default()) {
      std::string f;
      if (r.vrf != 0) f += fmt::format("VRF_ID={},", r.vrf);
      f += "VALID_1=1,VALID_0=1,";
      if (src != 0) f += fmt::format("SOURCE_IP_ADDR=0x{:x},", src);
      return f + fmt::format(
                     "L3MC_INDEX={:x},KEY_TYPE_1=7,KEY_TYPE_0=6,GROUP_IP_ADDR=0x{:x},"
                     "EXPECTED_L3_IIF=0x{:x}",
                     r.index, addr_value(r.grp), r.iif);
    }
    std::vector<std::string> fields{"KEY_TYPE_1=7", "KEY_TYPE_0=6"};
    if (r.vrf != 0 || layout_.one_in(2)) {
      fields.push_back(layout_.one_in(2) ? fmt::format("VRF_ID={}", r.vrf)
                                         : fmt::format("VRF_ID=0x{:x}", r.vrf));
    }
    switch (layout_.below(4)) {
      case 0:
        fields.insert(fields.end(), {"VALID_0=1", "VALID_1=0"});
        break;
      case 1:
        fields.push_back("VALID_1=1");
        break;
      default:
        fields.insert(fields.end(), {"VALID_0=1", "VALID_1=1"});
        break;
    }
    if (src != 0 || layout_.one_in(2)) fields.push_back(fmt::format("SOURCE_IP_ADDR={:x}", src));
    fields.push_back(layout_.one_in(2) ? fmt::format("L3MC_INDEX={:x}", r.index)
                                       : fmt::format("L3MC_INDEX=0x{:x}", r.index));
    fields.push_back(fmt::format("GROUP_IP_ADDR=0x{:x}", addr_value(r.grp)));
    fields.push_back(layout_.one_in(2) ? fmt::format("EXPECTED_L3_IIF={}", r.iif)
                                       : fmt::format("EXPECTED_L3_IIF=0x{:x}", r.iif));
    if (layout_.one_in(2)) fields.push_back("HIT=0");
    if (layout_.one_in(2)) fields.push_back("EVEN_PARITY=1");
    layout_.shuffle(fields);
    std::string f;
    for (const auto& field : fields) f += (f.empty() ? "" : ",") + field;
    return f;
  }

  // --- kernel -------------------------------------------------------------

  // Before the timers of the bridge's multicast database lines, which no
  // reader reads.
  std::string timer_gap() { return layout_.is_default() ? "   " : std::string(layout_.gap()); }

  void host_cmd(const std::string& cmd, std::string out, int status = 0) {
    out_.snapshot.host_commands[cmd] = platform::HostCommand{status, std::move(out)};
  }

  // The kind is the first word of the third line, however indented; lines
  // after it are not read.
  void link_show(const std::string& dev, std::size_t ifindex, const std::string& kind_line) {
    const std::string_view indent = layout_.is_default() ? "    " : layout_.gap();
    host_cmd("/bin/ip -d link show " + dev,
             layout_.lines(
                 fmt::format("{}: {}: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 9216 qdisc noqueue "
                             "state UP mode DEFAULT group default qlen 1000\n"
                             "{}link/ether 44:38:39:00:00:aa brd ff:ff:ff:ff:ff:ff promiscuity 0 "
                             "minmtu 68 maxmtu 65535 \n"
                             "{}{}\n",
                             ifindex, dev, indent, indent, kind_line),
                 {.head = 3,
                  .blanks = true,
                  .trailer = {"    addrgenmode eui64 numtxqueues 1 numrxqueues 1"}}));
  }

  // A file of the kernel's: line ends of any kind, nothing added.
  void host_file(const std::string& path, std::string text) {
    out_.snapshot.host_files[path] = layout_.lines(std::move(text), {});
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
    // Next hops by word position: the interface second, the index sixth.
    Table nhis(layout_, {{""}, {""}, {""}, {""}, {""}, {""}, {""}, {""}}, Table::Extras::kAtEnd);
    std::string s = "mroute debug info\n";
    for (const auto& [intf, vlan] : l3_) {
      nhis.row(s, {"intf ", fmt::format("{} ", intf), "vlan ", fmt::format("{} ", vlan), "nhi ",
                   fmt::format("{} ", nhi(intf)), "mac ", "44:38:39:00:00:01"});
    }
    // Lines without "nhi", or with it and fewer than six words, are skipped.
    host_cmd("cat /quorvex/hwprogd/debug/mroute/info",
             layout_.lines(std::move(s), {.blanks = true, .trailer = {"end of nhi list"}}));

    std::size_t ifindex = ports_.size() + 2;
    link_show("br0", ifindex++,
              "bridge forward_delay 1500 hello_time 200 max_age 2000 ageing_time 30000 "
              "stp_state 0 priority 32768 vlan_filtering 1 vlan_protocol 802.1Q");
    host_file("/sys/class/net/br0/bridge/vlan_filtering", "1\n");
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
      host_file("/sys/class/net/" + bond + "/bonding/slaves",
                ports_[bond_link(b, 0)].linux_name + std::string(layout_.gap()) +
                    ports_[bond_link(b, 1)].linux_name + "\n");
    }

    // Three fields between bars, padded with white space; a fourth is not read.
    std::vector<std::string> vlan_devs;
    const auto vlan_dev = [&](const std::string& name, std::int64_t vid, const std::string& lower) {
      link_show(name, ifindex++,
                fmt::format("vlan protocol 802.1Q id {} <REORDER_HDR> addrgenmode eui64", vid));
      vlan_devs.push_back(layout_.is_default()
                              ? fmt::format("{:<15}| {:<5}| {}\n", name, vid, lower)
                              : fmt::format("{}{}|{}{}{}|{}{}{}\n", name, layout_.gap(),
                                            layout_.gap(), vid, layout_.gap(), layout_.gap(), lower,
                                            layout_.one_in(4) ? " | -" : ""));
    };
    for (const auto& v : vlans_) vlan_dev(fmt::format("vlan{}", v.vid), v.vid, "br0");
    for (const auto& sub : subifs_) vlan_dev(sub.name, sub.wire_vid, sub.lower);
    layout_.shuffle(vlan_devs);
    std::string vlan_config =
        "VLAN Dev name    | VLAN ID\nName-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD\n";
    for (const auto& line : vlan_devs) vlan_config += line;
    snap.host_files["/proc/net/vlan/config"] =
        layout_.lines(std::move(vlan_config), {.head = 2, .blanks = true, .trailer = {"# end"}});

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
    host_cmd("/sbin/bridge -j vlan show", layout_.json(s));
  }

  void write_mdb() {
    // Link-local IPv6 groups share the table; the check skips them.
    for (std::size_t i = 0; i < std::min<std::size_t>(vlans_.size(), 32); ++i) {
      mdb_lines_ += fmt::format("dev br0 port {} grp ff02::fb temp vid {}{}101.40\n",
                                devs_[vlans_[i].members.front()].name, vlans_[i].vid, timer_gap());
    }
    std::vector<std::string> router_lines;
    for (const std::size_t rp : router_ports_) {
      const std::string& name = ports_[rp].linux_name;
      router_lines.push_back(
          fmt::format("router ports on br0: {}{}254.71 temp", name, timer_gap()));
      // Split at single blanks: the VLAN is the second field, after tabs
      // and one blank; a title's second field is not a number.
      static constexpr std::string_view kTitles[] = {"port\tvlan ids", "port    vlan-id",
                                                     "port\tvlan-id"};
      const auto tabs = [this] { return std::string(1 + layout_.below(3), '\t'); };
      std::string s = std::string(kTitles[layout_.below(std::size(kTitles))]) + "\n";
      bool first = true;
      for (const std::size_t k : dev_vlans_[rp]) {
        const BridgeVlan& v = vlans_[k];
        s += first ? name + tabs() + " " : layout_.one_in(3) ? " " : tabs() + " ";
        first = false;
        s += std::to_string(v.vid);
        if (v.untagged_port == rp) s += " Egress Untagged";
        s += "\n";
      }
      s += "\n";
      host_cmd("/sbin/bridge vlan show dev " + name, layout_.lines(std::move(s), {.blanks = true}));
    }
    // Router port lines may stand anywhere among the entries: the reader
    // takes them in a pass of their own.
    std::vector<std::string> lines;
    for (const std::string_view line : util::Lines(mdb_lines_)) lines.emplace_back(line);
    for (auto& line : router_lines) {
      const std::size_t at = layout_.is_default() ? lines.size() : layout_.below(lines.size() + 1);
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    }
    std::string mdb;
    for (const auto& line : lines) mdb += line + "\n";
    host_cmd(
        "/sbin/bridge -d -s mdb show dev br0",
        layout_.lines(std::move(mdb),
                      {.blanks = true, .trailer = {"Total 2 groups"}, .banner = {"dev br0 mdb:"}}));
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
    host_cmd("/bin/ip -j -d link show type vrf", layout_.json(vrfs));

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
    host_cmd("/bin/ip -j mroute show table all", layout_.json(s));
  }

  Rng rng_;
  double scale_;
  Layout layout_;
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
