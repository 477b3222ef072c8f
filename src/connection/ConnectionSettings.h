// The settings of a connection: owned by the TTCPClient, read by its I/O handler.
#pragma once

#include <string>

#include "platform/SocketApi.h"

namespace vxt {

struct TConnectionSettings {
  std::string host;         // dotted IPv4 address or host name
  int port = 0;             // a port of 0 or below is never connected to
  int connect_timeout = 0;  // ms; 0: see ConnectUnderTimeLimit, -1: no limit
  int read_timeout = -1;    // ms per single wait for data; -1 and 0: no limit
  TIPVersion ip_version = TIPVersion::Id_IPv4;
};

}  // namespace vxt
