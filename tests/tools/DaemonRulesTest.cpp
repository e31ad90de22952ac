// The mount daemon's decisions that need no server: which paths are refused before anything is
// sent, the library's free space in bytes, which open files a folder's rename carries along,
// and how a read is served (the time passed in).
#include <errno.h>
#include <gtest/gtest.h>
#include <libsmbclient.h>

#include <string>
#include <tuple>

#include "ReadAhead.h"
#include "SmbFilesystem.h"
#include "SmbSemantics.h"
#include "WorkerPool.h"

namespace quorvane::tools {
namespace {

TEST(SmbPaths, AreRefusedWhenTooLongOrHoldingWhatSmbCannotStore) {
    const std::string longest(kLongestName, 'n');
    // 4,095 bytes after the leading "/", in names of 99 bytes.
    std::string deepest;
    while (deepest.size() < kLongestPath + 1) {
        deepest += "/" + std::string(99, 'n');
    }
    deepest.resize(kLongestPath + 1);
    const std::pair<std::string, int> cases[] = {
        {"/", 0},
        {"/Staff Public/Bl\xC3\xA5 & #1;%.txt", 0},
        {"/" + longest, 0},
        {"/" + longest + "n", -ENAMETOOLONG},
        {"/a/" + longest + "n/b", -ENAMETOOLONG},
        {deepest, 0},
        {deepest + "x", -ENAMETOOLONG},
        {"/a\\b", -EINVAL},
        {"/a:stream", -EINVAL},
        {"/*", -EINVAL},
        {"/why?", -EINVAL},
        {"/\"q\"", -EINVAL},
        {"/<a>", -EINVAL},
        {"/a|b/c", -EINVAL},
        {"/a|b/" + longest + "n", -ENAMETOOLONG},
    };
    for (const auto& [path, refused] : cases) {
        EXPECT_EQ(refusedPath(path.c_str()), refused) << path.substr(0, 40) << " " << path.size();
    }
    EXPECT_EQ(refusedPath(nullptr), -ENOENT);
}

TEST(SmbFreeSpace, ComesOutInBytesWhateverUnitsTheLibraryGave) {
    struct Case {
        unsigned long bsize, frsize, flag;
        unsigned long unit;
    };
    const Case cases[] = {
        // Without Unix extensions: bytes per sector times sectors per allocation unit.
        {512, 8, SMBC_VFS_FEATURE_NO_UNIXCIFS, 4096},
        {4096, 1, SMBC_VFS_FEATURE_NO_UNIXCIFS, 4096},
        {512, 0, SMBC_VFS_FEATURE_NO_UNIXCIFS, 512},
        // With them, the block size alone.
        {4096, 8, 0, 4096},
        {1024, 0, 0, 1024},
    };
    for (const Case& c : cases) {
        struct statvfs answer {};
        answer.f_bsize = c.bsize;
        answer.f_frsize = c.frsize;
        answer.f_flag = c.flag;
        answer.f_blocks = 1000;
        answer.f_bavail = 10;
        statvfsInBytes(&answer);
        EXPECT_EQ(answer.f_bsize, c.unit) << c.bsize << " " << c.frsize;
        EXPECT_EQ(answer.f_frsize, c.unit) << c.bsize << " " << c.frsize;
        EXPECT_EQ(answer.f_flag, 0u);
        EXPECT_EQ(answer.f_blocks, 1000u);
        EXPECT_EQ(answer.f_bavail, 10u);
    }
}

TEST(FolderRenames, CarryTheOpenFilesAtOrBelowTheFolderAndNoOther) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"/a", "/a", true},      {"/a/b", "/a", true},  {"/a/b/c", "/a", true},
        {"/ab", "/a", false},    {"/a", "/a/b", false}, {"/b/a", "/a", false},
        {"/a b/c", "/a", false}, {"/A/b", "/a", false},
    };
    for (const auto& [path, folder, below] : cases) {
        EXPECT_EQ(isAtOrBelow(path, folder), below) << path << " " << folder;
    }
}

TEST(ReadAheads, ServeSequentialReadersFromOnePieceWhileItIsFresh) {
    using std::chrono::milliseconds;
    constexpr off_t kKiB = 1024;
    constexpr off_t kPiece = static_cast<off_t>(worker::kReadAhead);
    const RemoteFile file;
    const RemoteFile other;
    const auto t0 = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    const auto life = worker::kReadAheadLife;
    const ReadAhead none;
    const ReadAhead kept{&file, 4 * kPiece, static_cast<size_t>(kPiece), t0};
    struct Case {
        const char* what;
        const ReadAhead& kept;
        const RemoteFile* file;
        off_t lastEnd, offset;
        size_t size;
        std::chrono::steady_clock::time_point now;
        ReadChoice choice;
    };
    const Case cases[] = {
        {"the first read", none, &file, -1, 0, 128 * kKiB, t0, ReadChoice::Ahead},
        {"a first read further on", none, &file, -1, 4096, 128 * kKiB, t0, ReadChoice::Alone},
        {"a read as large as a piece", none, &file, -1, 0, kPiece, t0, ReadChoice::Alone},
        {"within the piece", kept, &file, 4 * kPiece, 4 * kPiece + 128 * kKiB, 128 * kKiB,
         t0 + life - milliseconds(1), ReadChoice::Kept},
        {"its last bytes", kept, &file, 4 * kPiece, 5 * kPiece - 128 * kKiB, 128 * kKiB, t0,
         ReadChoice::Kept},
        {"within it once its life is over", kept, &file, 4 * kPiece + 128 * kKiB,
         4 * kPiece + 128 * kKiB, 128 * kKiB, t0 + life, ReadChoice::Ahead},
        {"within it for another file", kept, &other, 4 * kPiece + 128 * kKiB,
         4 * kPiece + 128 * kKiB, 128 * kKiB, t0, ReadChoice::Ahead},
        {"past its end", kept, &file, 5 * kPiece - 64 * kKiB, 5 * kPiece - 64 * kKiB, 128 * kKiB,
         t0, ReadChoice::Ahead},
        // Out of order: a straggler just before the piece does not replace it.
        {"just before it", kept, &file, 4 * kPiece + 256 * kKiB, 4 * kPiece - 128 * kKiB,
         128 * kKiB, t0, ReadChoice::Alone},
        {"just before it once its life is over", kept, &file, 4 * kPiece + 256 * kKiB,
         4 * kPiece - 128 * kKiB, 128 * kKiB, t0 + life, ReadChoice::Ahead},
        {"a piece's length on from the last read", none, &file, kPiece, 2 * kPiece, 128 * kKiB, t0,
         ReadChoice::Ahead},
        {"a byte further", none, &file, kPiece, 2 * kPiece + 1, 128 * kKiB, t0, ReadChoice::Alone},
        {"a piece's length back", none, &file, 2 * kPiece, kPiece, 128 * kKiB, t0,
         ReadChoice::Ahead},
        {"a byte further back", none, &file, 2 * kPiece, kPiece - 1, 128 * kKiB, t0,
         ReadChoice::Alone},
        {"back to the start", none, &file, 100 * kPiece, 0, 128 * kKiB, t0, ReadChoice::Ahead},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseRead(c.kept, c.file, c.lastEnd, c.offset, c.size, c.now), c.choice)
            << c.what;
    }
}

}  // namespace
}  // namespace quorvane::tools
