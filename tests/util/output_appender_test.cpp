#include "util/output_appender.h"

#include <gtest/gtest.h>

#include "support/fixed_platform.h"
#include "support/test_system.h"
#include "util/background_write.h"
#include "util/output_file.h"

namespace brolvin {
namespace {

class OutputAppenderTest : public test::TempDirTest {};

// Runs `body` while files may grow to `bytes` only, so writes beyond fail;
// false where the system cannot limit file sizes.
template <class Body>
bool underFileSizeLimit(long long bytes, Body body) {
    test::FileSizeLimit limit(bytes);
    if (!limit.active()) return false;
    body();
    return true;
}

TEST_F(OutputAppenderTest, AppendsLikeTheOutputFileOperation) {
    ASSERT_TRUE(CSC_0001E("", "a.txt", kCreateEmpty));
    ASSERT_TRUE(CSC_0001E("head\r\n", "a.txt", kAppend));
    OutputAppender out;
    EXPECT_TRUE(out.append("one\r\n", "a.txt"));
    EXPECT_TRUE(out.append("", "a.txt"));
    EXPECT_TRUE(out.append("two\r\n", "a.txt"));
    EXPECT_TRUE(out.fileAvailable("a.txt"));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(read("a.txt"), "head\r\none\r\ntwo\r\n");
    // Switching to another file closes the first; nothing is lost.
    ASSERT_TRUE(CSC_0001E("", "b.txt", kCreateEmpty));
    EXPECT_TRUE(out.append("x", "a.txt"));
    EXPECT_TRUE(out.append("y", "b.txt"));
    EXPECT_TRUE(out.append("z", "a.txt"));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(read("a.txt"), "head\r\none\r\ntwo\r\nxz");
    EXPECT_EQ(read("b.txt"), "y");
}

TEST_F(OutputAppenderTest, FailuresAreReported) {
    OutputAppender out;
    EXPECT_FALSE(out.append("text", "missing.txt"));  // never creates a file
    EXPECT_FALSE(out.fileAvailable("missing.txt"));
    EXPECT_FALSE(out.append("text", ""));
    // A write the system refuses (here: beyond a file-size limit) is seen.
    ASSERT_TRUE(CSC_0001E("", "small.txt", kCreateEmpty));
    bool first = false, second = false;
    if (!underFileSizeLimit(8, [&] {
            OutputAppender small;
            first = small.append("1234", "small.txt");
            second = small.append("56789012", "small.txt");
            small.close();
        }))
        GTEST_SKIP() << "this system cannot limit the size of files";
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
}

TEST_F(OutputAppenderTest, BatchesGoOutWholeAndInOrder) {
    ASSERT_TRUE(CSC_0001E("", "a.txt", kCreateEmpty));
    ASSERT_TRUE(CSC_0001E("", "b.txt", kCreateEmpty));
    OutputAppender out(8);
    EXPECT_TRUE(out.append("123", "a.txt"));
    EXPECT_TRUE(out.append("456", "a.txt"));
    EXPECT_EQ(read("a.txt"), "");  // still collected
    // "789" would overflow the batch: what was collected goes first.
    EXPECT_TRUE(out.append("789", "a.txt"));
    EXPECT_EQ(read("a.txt"), "123456");
    // A text longer than a batch is written at once, after what is collected.
    EXPECT_TRUE(out.append("abcdefghij", "a.txt"));
    EXPECT_EQ(read("a.txt"), "123456789abcdefghij");
    // Switching files writes the first file's batch before the second is opened.
    EXPECT_TRUE(out.append("k", "a.txt"));
    EXPECT_TRUE(out.append("x", "b.txt"));
    EXPECT_EQ(read("a.txt"), "123456789abcdefghijk");
    EXPECT_TRUE(out.close());
    EXPECT_EQ(read("b.txt"), "x");
    EXPECT_TRUE(out.close());  // closing twice is harmless
}

TEST_F(OutputAppenderTest, ABatchThatCannotBeWrittenIsReportedByTheCallThatWritesIt) {
    ASSERT_TRUE(CSC_0001E("", "small.txt", kCreateEmpty));
    bool collected = false, closed = false;
    if (!underFileSizeLimit(4, [&] {
            OutputAppender out(64);
            collected = out.append("12345678", "small.txt");
            closed = out.close();
        }))
        GTEST_SKIP() << "this system cannot limit the size of files";
    EXPECT_TRUE(collected);
    EXPECT_FALSE(closed);
}

// Writes queued faster than the thread ends them: the caller waits for room
// in the ring (and is woken only once the thread is nearly idle), every
// write reaches the file whole and in order, and a buffer is reused only
// once its write has ended.
TEST_F(OutputAppenderTest, BackgroundWritesKeepOrderWhenTheCallerWaits) {
    ASSERT_TRUE(CSC_0001E("", "bg.txt", kCreateEmpty));
    OutputAppender held;
    const int fd = held.heldFile("bg.txt");
    ASSERT_GE(fd, 0);
    constexpr size_t kRing = BackgroundWrite::kMaxUnfinished + 1;
    std::string bodies[kRing];
    std::string_view texts[kRing][2];
    std::string expected;
    {
        BackgroundWrite writes;
        for (int n = 0; n < 300; ++n) {
            const size_t slot = static_cast<size_t>(n) % kRing;
            bodies[slot].assign(65536 + static_cast<size_t>(n), static_cast<char>('a' + n % 26));
            texts[slot][0] = "#";
            texts[slot][1] = bodies[slot];
            expected += "#" + bodies[slot];
            EXPECT_TRUE(writes.start(fd, texts[slot], 2));
        }
        EXPECT_TRUE(writes.wait());
    }
    EXPECT_TRUE(held.close());
    EXPECT_TRUE(read("bg.txt") == expected);
}

}  // namespace
}  // namespace brolvin
