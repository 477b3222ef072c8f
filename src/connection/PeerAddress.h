// The peer address of a connect for IPv4: a dotted address as it reads, "LOCALHOST" in any
// letter case as 127.0.0.1, any other name through the platform's host-name lookup.
#pragma once

#include <optional>
#include <string>

#include "platform/IPv4Address.h"

namespace vxt {

// The address of a host that needs no lookup: a dotted address as it reads (blanks and all),
// "LOCALHOST" in any letter case as 127.0.0.1. Nothing for a name that has to be looked up.
std::optional<TIPv4Address> AddressWithoutLookup(const std::string& host);

// The address to connect to: AddressWithoutLookup, else the lookup on the calling thread,
// which it blocks without any pump step; a failed lookup raises a socket error with the
// lookup's code.
TIPv4Address ResolvePeerAddress(const std::string& host);

}  // namespace vxt
