#include "util/file_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/fixed_platform.h"
#include "support/test_system.h"

namespace brolvin {
namespace {

using FileBlocks = test::TempDirTest;

// A whole file comes in full blocks and a short last one, every byte as it
// is; a file that cannot be opened or read ends the reading with false
// instead of handing on made-up bytes.
TEST_F(FileBlocks, EveryByteInFullBlocksOrAFailure) {
    std::string content;
    content.reserve(2500000);
    for (size_t i = 0; i < 2500000; ++i) content.push_back(static_cast<char>('A' + i % 26));
    content[999999] = '\0';
    write("big", content);
    std::string read;
    std::vector<size_t> sizes;
    auto collect = [&](std::string_view block) {
        read.append(block);
        sizes.push_back(block.size());
        return true;
    };
    BlockReadError error;
    EXPECT_TRUE(readFileBlocks("big", collect, error, 1000000));
    EXPECT_EQ(read, content);
    EXPECT_EQ(sizes, (std::vector<size_t>{1000000, 1000000, 500000}));

    write("empty", "");
    sizes.clear();
    EXPECT_TRUE(readFileBlocks("empty", collect, error));
    EXPECT_TRUE(sizes.empty());

    EXPECT_FALSE(readFileBlocks("absent", collect, error));
    EXPECT_TRUE(error.atOpen);
    EXPECT_EQ(readErrorText(error), "Cfile <ERROR> FC-Open # 2");
    // A folder opens on Linux but cannot be read; Windows refuses to open it.
    std::filesystem::create_directory("folder");
    sizes.clear();
    EXPECT_FALSE(readFileBlocks("folder", collect, error));
    EXPECT_EQ(error.atOpen, !test::linuxSystem());
    EXPECT_NE(error.code, 0);
    EXPECT_TRUE(sizes.empty());
}

// A file of many blocks is read ahead on a thread of its own: the blocks
// still come in order, whole, and a caller that stops early gets no more.
TEST_F(FileBlocks, ReadAheadKeepsOrderAndStopsWhenAsked) {
    std::string content;
    for (size_t i = 0; i < 50000; ++i) content.push_back(static_cast<char>('a' + (i * 7 + i / 13) % 26));
    write("many", content);
    for (size_t stopAfter : {size_t{1}, size_t{4}, size_t{1000}}) {
        std::string read;
        size_t blocks = 0;
        BlockReadError error;
        EXPECT_TRUE(readFileBlocks(
            "many",
            [&](std::string_view block) {
                read.append(block);
                return ++blocks < stopAfter;
            },
            error, 1024));
        const size_t expected = std::min(stopAfter, (content.size() + 1023) / 1024);
        EXPECT_EQ(blocks, expected) << stopAfter;
        EXPECT_EQ(read, content.substr(0, std::min(content.size(), expected * 1024))) << stopAfter;
    }
}

}  // namespace
}  // namespace brolvin
