#include "platform/SocketResult.h"

#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"

namespace vxt {

int64_t CheckSocketResult(int64_t result) {
  // Read at once: on Windows any later call of this thread may overwrite the last error.
  if (result == -1) RaiseSocketFailure(ActiveSocketApi().LastError());
  return result;
}

}  // namespace vxt
