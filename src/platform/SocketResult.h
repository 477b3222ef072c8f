// The check that turns a failed socket call into the socket failure it stands for.
#pragma once

#include <cstdint>

#include "platform/SocketApi.h"

namespace vxt {

// Returns the call's value unless the call failed; a failure raises the socket failure of the
// number returned with it (EIdNotASocket for 10038, EIdSocketError otherwise).
int64_t CheckSocketResult(const TSocketResult& result);

}  // namespace vxt
