// Where the I/O handler reports the progress of its transfers (the client, which raises the
// notifications).
#pragma once

#include <cstdint>

namespace vxt {

enum TWorkMode { wmRead = 0, wmWrite = 1 };

class TWorkSink {
 public:
  virtual ~TWorkSink() = default;
  // A transfer begins; total 0 announces none.
  virtual void BeginWork(TWorkMode mode, int64_t total) = 0;
  // count more bytes have been handed over.
  virtual void DoWork(TWorkMode mode, int64_t count) = 0;
  // The transfer ends, also when it ends by an error.
  virtual void EndWork(TWorkMode mode) = 0;
};

}  // namespace vxt
