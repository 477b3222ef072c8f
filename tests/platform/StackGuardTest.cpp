// The stack protector of the Windows programs, seen from a program built like them: the guard is
// seeded before main and differs from process to process, and an overrun that the stack
// protector or a fortified copy catches ends the process at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" std::uintptr_t __stack_chk_guard;

namespace vxt {
namespace {

TEST(StackGuardTest, IsSeededBeforeMainAndDiffersFromProcessToProcess) {
  const std::uintptr_t guard = __stack_chk_guard;
  EXPECT_NE(guard, 0u);
  EXPECT_NE(guard, 0x2B992DDFA232u) << "the guard still holds its value before the seed";
  // A copy of this program in a process of its own writes its guard.
  EXPECT_EXIT(
      {
        std::fprintf(stderr, "guard %llu\n", static_cast<unsigned long long>(__stack_chk_guard));
        std::fflush(stderr);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0),
      ::testing::AllOf(
          ::testing::MatchesRegex("guard \\d+\n"),
          ::testing::Not(::testing::HasSubstr("guard " + std::to_string(guard) + "\n"))));
}

// Lengths the compiler cannot know, so that the checks run when the program does.
volatile std::size_t overrun_length = 64;

__attribute__((noinline)) void OverrunTheStack() {
  char buffer[8];
  for (std::size_t i = 0; i < overrun_length; ++i) static_cast<volatile char*>(buffer)[i] = 'x';
}

__attribute__((noinline)) void OverrunAStaticBufferByAFortifiedCopy() {
  static const char source[64] = {};
  // The copy's target size is known where it is compiled: the fortified copy checks it.
  static char target[8];
  std::memcpy(target, source, overrun_length);
}

void ExitHandler() {
  std::fputs("exit handler ran\n", stderr);
  std::fflush(stderr);
}

// STATUS_STACK_BUFFER_OVERRUN, the exit code of a process that the system ended fast; without
// the exit handler, without going on after the overrun. An overrun of a static buffer that went
// unchecked would go on and end the child with 0.
TEST(StackGuardTest, AnOverrunEndsTheProcessAtOnce) {
  const int overrun = static_cast<int>(0xC0000409u);
  for (void (*overrun_by)() : {&OverrunTheStack, &OverrunAStaticBufferByAFortifiedCopy}) {
    EXPECT_EXIT(
        {
          std::atexit(ExitHandler);
          overrun_by();
          std::fputs("went on\n", stderr);
          std::exit(0);
        },
        ::testing::ExitedWithCode(overrun), "^$");
  }
}

}  // namespace
}  // namespace vxt
