// What the system shows of this process's resources, for the suites that check that a long
// run or a large reply does not make them grow. Read from /proc, which Wine's drive for the
// root folder also shows (of the Wine process that runs the test program).
#pragma once

namespace vxt::testing {

// Resident pages of 4 KiB; -1 when the system does not show them.
long ResidentPages();
// Open descriptors; -1 when the system does not show them.
long OpenDescriptors();

// AddressSanitizer keeps freed memory in quarantine, so resident size says nothing there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentSizeMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kResidentSizeMeaningful = false;
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif

}  // namespace vxt::testing
