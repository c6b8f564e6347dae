#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/fixed_platform.h"

namespace brolvin {

using OutputFile = test::TempDirTest;

TEST_F(OutputFile, CreateIgnoresTextAndTruncatesAndAppendAddsToTheEnd) {
    write("out.txt", "old content");
    ASSERT_TRUE(CSC_0001E("ignored", "out.txt", kCreateEmpty));
    EXPECT_EQ(read("out.txt"), "");
    EXPECT_TRUE(CSC_0001E("<A>", "out.txt", kAppend));
    EXPECT_TRUE(CSC_0001E("<B>\r\n", "out.txt", kAppend));
    EXPECT_EQ(read("out.txt"), "<A><B>\r\n");
}

TEST_F(OutputFile, AppendNeverCreatesAMissingFileAndReportsTheLoss) {
    EXPECT_FALSE(CSC_0001E("text", "missing.txt", kAppend));
    EXPECT_FALSE(fileExists("missing.txt"));
    EXPECT_FALSE(CSC_0001E("", "", kCreateEmpty));
    EXPECT_FALSE(CSC_0001E("", "no/such/folder/x.txt", kCreateEmpty));
}

TEST_F(OutputFile, OtherModesChangeNothing) {
    write("keep.txt", "data");
    EXPECT_TRUE(CSC_0001E("more", "keep.txt", 3));
    EXPECT_TRUE(CSC_0001E("more", "keep.txt", 0));
    EXPECT_TRUE(CSC_0001E("more", "absent.txt", 3));
    EXPECT_EQ(read("keep.txt"), "data");
    EXPECT_FALSE(fileExists("absent.txt"));
}

TEST_F(OutputFile, ReadOnlyHiddenAndSystemCreateEmptyFiles) {
    ASSERT_TRUE(CSC_0001E("x", "ro.txt", kCreateReadOnly));
    struct stat st {};
    ASSERT_EQ(stat("ro.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(fileSize("ro.txt"), 0);
    for (int mode : {kCreateHidden, kCreateSystem}) {
        write("n.txt", "old");
        ASSERT_TRUE(CSC_0001E("x", "n.txt", mode));
        EXPECT_EQ(read("n.txt"), "");
        EXPECT_TRUE(CSC_0001E("y", "n.txt", kAppend));
        EXPECT_EQ(read("n.txt"), "y");
    }
}

}  // namespace brolvin
