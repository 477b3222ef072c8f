#include "platform/SocketResult.h"

#include "failures/Exceptions.h"

namespace vxt {

int64_t CheckSocketResult(const TSocketResult& result) {
  if (result.Failed()) RaiseSocketFailure(result.error);
  return result.value;
}

}  // namespace vxt
