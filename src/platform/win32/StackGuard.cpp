// The stack protector's guard and the failure handlers of the stack protector and of the
// fortified string and memory functions, linked into every Windows executable of the project.
//
// Defined here, they keep libssp's own (ssp.o) out of the link: that one seeds the guard through
// CryptoAPI from a constructor, which makes ADVAPI32 load cryptsp, a provider and what they
// import by the ordinary DLL search (the program's folder first) before WinMain can restrict it.
// This seed loads nothing: like the cookie of Microsoft's C runtime, it mixes the performance
// counter, the system time, the process and thread ids and addresses that ASLR places. libssp's
// __memcpy_chk and kin (each a member of its own) still link, and call __chk_fail here.
//
// The seed runs in the first constructor, called by the C runtime's start code, which is not
// compiled with the stack protector: no protected function is under way when the guard changes,
// so none can find it changed on its return. The seeding functions themselves carry no check.

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>

namespace {

// Until the seed: not zero, so that a protected function of a constructor that might run first
// is still checked against something. Never the guard after the seed.
constexpr std::uintptr_t kUnseeded = 0x2B992DDFA232u;

// Fast-fail codes of the system (winnt.h of newer SDKs).
constexpr unsigned kFastFailStackCookieCheckFailure = 2;
constexpr unsigned kFastFailRangeCheckFailure = 8;

// A full-avalanche step (splitmix64's finaliser): every input bit moves every output bit, so
// that inputs that differ in a few low bits (two ids, two counters) give unrelated guards.
__attribute__((no_stack_protector)) std::uint64_t Mix(std::uint64_t value) {
  value ^= value >> 30;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 27;
  value *= 0x94D049BB133111EBu;
  value ^= value >> 31;
  return value;
}

// The stack or a buffer was overrun, so neither the stack nor the heap is to be trusted: no
// unwinding, no exit handlers, no message and no DLL load; the system ends the process itself.
[[noreturn]] __attribute__((no_stack_protector)) void EndAtOnce(unsigned fast_fail_code) {
  if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
    // __fastfail: the kernel ends the process without running any handler of it.
    __asm__ __volatile__("int $0x29" : : "c"(fast_fail_code) : "memory");
  }
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_unreachable();
}

}  // namespace

extern "C" {

std::uintptr_t __stack_chk_guard = kUnseeded;

[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
  EndAtOnce(kFastFailStackCookieCheckFailure);
}

[[noreturn]] __attribute__((no_stack_protector)) void __chk_fail() {
  EndAtOnce(kFastFailRangeCheckFailure);
}

}  // extern "C"

namespace {

// 101: the earliest priority that a program may take (0 to 100 are the compiler's).
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  std::uint64_t seed = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  seed = Mix(seed ^ static_cast<std::uint64_t>(counter.QuadPart));
  seed = Mix(seed ^ ((std::uint64_t{GetCurrentProcessId()} << 32) | GetCurrentThreadId()));
  seed = Mix(seed ^ reinterpret_cast<std::uintptr_t>(&counter));            // the stack's place
  seed = Mix(seed ^ reinterpret_cast<std::uintptr_t>(&__stack_chk_guard));  // the image's place
  if (seed == 0 || seed == kUnseeded) seed = ~kUnseeded;
  __stack_chk_guard = seed;
}

}  // namespace
