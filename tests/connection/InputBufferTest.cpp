#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "connection/InputBuffer.h"
#include "failures/Exceptions.h"
#include "support/FakeSocketApi.h"

namespace vxt {
namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i * 13);
  return bytes;
}

class InputBufferTest : public ::testing::Test {
 protected:
  testing::FakeSocketApi fake_;  // the buffer holds a use of the network layer
};

TEST_F(InputBufferTest, AgreesWithASimpleQueueUnderRandomAppendsAndRemovals) {
  std::mt19937 random(20240611);
  for (int run = 0; run < 20; ++run) {
    TInputBuffer buffer;
    std::deque<uint8_t> model;
    int64_t reported = 0;
    buffer.SetOnBytesRemoved([&](int64_t count) { reported += count; });
    int64_t removed = 0;
    for (int step = 0; step < 400; ++step) {
      // Sizes around the margin and the usual receive sizes find the edges of the rules.
      static const size_t kSizes[] = {0, 1, 2, 7, 100, 2047, 2048, 2049, 4095, 4096, 5000};
      size_t size = random() % 3 == 0 ? kSizes[random() % 11] : random() % 9000;
      if (random() % 2 == 0) {
        std::vector<uint8_t> bytes = Bytes(size, static_cast<uint8_t>(random()));
        model.insert(model.end(), bytes.begin(), bytes.end());
        if (random() % 2 == 0) {
          buffer.Append(std::move(bytes));
        } else {
          buffer.Append(bytes.data(), bytes.size());
        }
      } else {
        std::vector<uint8_t> taken = buffer.Extract(size);
        size_t expected = std::min(size, model.size());
        ASSERT_EQ(taken.size(), expected);
        ASSERT_TRUE(std::equal(taken.begin(), taken.end(), model.begin()));
        model.erase(model.begin(), model.begin() + static_cast<ptrdiff_t>(expected));
        removed += static_cast<int64_t>(expected);
      }
      ASSERT_EQ(buffer.Size(), model.size());
      ASSERT_LE(buffer.HeadIndex(), TInputBuffer::kMargin);
      ASSERT_GE(buffer.StorageLength(), buffer.HeadIndex() + buffer.Size());
    }
    EXPECT_EQ(reported, removed);
    const std::vector<uint8_t> rest = buffer.Extract(buffer.Size());
    EXPECT_EQ(rest, std::vector<uint8_t>(model.begin(), model.end()));
    EXPECT_EQ(buffer.StorageLength(), 0u);
  }
}

TEST_F(InputBufferTest, GrowsAndShrinksWithTheMargin) {
  struct Step {
    const char* what;
    bool append;  // otherwise an extract
    size_t count;
    size_t head;
    size_t size;
    size_t storage;
  };
  const Step steps[] = {
      {"to an empty buffer the appended array becomes the storage", true, 100, 0, 100, 100},
      {"no room behind the unread bytes: grown to size + n + margin", true, 50, 0, 150, 2198},
      {"room enough: the storage stays", true, 2048, 0, 2198, 2198},
      {"taking from the head only advances it, up to the margin", false, 2048, 2048, 150, 2198},
      {"past the margin the bytes move to the front, shrunk to size + margin", false, 1, 0, 149,
       2197},
      {"a short take advances the head", false, 10, 10, 139, 2197},
      {"an append moves the bytes to the front first, then fits", true, 1000, 0, 1139, 2197},
      {"taking everything releases the storage", false, 100000, 0, 0, 0},
  };
  TInputBuffer buffer;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.append) {
      buffer.Append(Bytes(step.count, 1));
    } else {
      buffer.Extract(step.count);
    }
    EXPECT_EQ(buffer.HeadIndex(), step.head);
    EXPECT_EQ(buffer.Size(), step.size);
    EXPECT_EQ(buffer.StorageLength(), step.storage);
  }
}

TEST_F(InputBufferTest, CompactsAndShrinksOnceTheHeadPassesTheMargin) {
  TInputBuffer buffer;
  buffer.Append(Bytes(4100, 0));
  buffer.Extract(2048);  // head 2048: not past the margin yet
  EXPECT_EQ(buffer.HeadIndex(), 2048u);
  EXPECT_EQ(buffer.StorageLength(), 4100u);
  buffer.Extract(1);  // head 2049: compacted, 2049 free: shrunk to size + margin
  EXPECT_EQ(buffer.HeadIndex(), 0u);
  EXPECT_EQ(buffer.StorageLength(), 2051u + 2048u);
  TInputBuffer other;
  other.Append(Bytes(4098, 0));
  other.Extract(2049);  // compacted; 4098 - 2049 = 2049 free: shrunk
  EXPECT_EQ(other.StorageLength(), 2049u + 2048u);
  TInputBuffer third;
  third.Append(Bytes(4097, 0));
  third.Extract(2049);  // compacted; 4097 - 2048 = 2049 free: shrunk to 4096
  EXPECT_EQ(third.StorageLength(), 4096u);
  EXPECT_EQ(third.HeadIndex(), 0u);
  third.Append(Bytes(2048, 0));  // exactly fits the 2048 free bytes
  EXPECT_EQ(third.StorageLength(), 4096u);
}

TEST_F(InputBufferTest, ReportsEveryRemovalButNotAnEmptyOne) {
  TInputBuffer buffer;
  std::vector<int64_t> reports;
  buffer.SetOnBytesRemoved([&](int64_t count) { reports.push_back(count); });
  buffer.Extract(10);
  buffer.Append(Bytes(10, 0));
  buffer.Extract(4);
  buffer.Extract(100);
  buffer.Extract(1);
  EXPECT_EQ(reports, (std::vector<int64_t>{4, 6}));
}

TEST_F(InputBufferTest, RefusesMoreThanTheLimitAndStaysUnchanged) {
  EXPECT_NO_THROW(TInputBuffer::CheckAppend(0, TInputBuffer::kMaxSize));
  EXPECT_NO_THROW(TInputBuffer::CheckAppend(TInputBuffer::kMaxSize - 4096, 4096));
  EXPECT_NO_THROW(TInputBuffer::CheckAppend(TInputBuffer::kMaxSize, 0));
  try {
    TInputBuffer::CheckAppend(TInputBuffer::kMaxSize - 4095, 4096);
    FAIL() << "no failure";
  } catch (const EIdTooMuchDataInBuffer& e) {
    EXPECT_EQ(e.Message(), "Too much data in buffer.");
  }
  EXPECT_THROW(TInputBuffer::CheckAppend(1, TInputBuffer::kMaxSize), EIdException);
  EXPECT_EQ(TInputBuffer::kMaxSize, 2147483647);
}

}  // namespace
}  // namespace vxt
