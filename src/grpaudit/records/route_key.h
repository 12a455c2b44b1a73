#pragma once
// The route key "<vrf>, (<source>,<group>)" that names a multicast route on
// both sides, and its split back into its three parts.

#include <optional>
#include <string>
#include <string_view>

namespace grpaudit {

std::string make_route_key(std::string_view vrf, std::string_view sip, std::string_view dip);

struct RouteKeyParts {
  std::optional<std::string> vrf;
  std::optional<std::string> sip;
  std::optional<std::string> dip;
};

// The parts of `key`, matched from its start (text after the closing
// parenthesis is ignored); all three absent when the key has another form.
RouteKeyParts split_route_key(std::string_view key);

// The error text for `key` given where a route key is wanted and
// split_route_key finds none.
std::string not_a_route_key(std::string_view key);

}  // namespace grpaudit
