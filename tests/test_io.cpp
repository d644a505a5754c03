#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "output.h"
#include "reader.h"

namespace {

// An anonymous file holding text, positioned at its start.
int file_with(const std::string& text) {
    int fd = open_spool_file();
    EXPECT_TRUE(write_all(fd, text.data(), text.size()));
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string contents(int fd) {
    lseek(fd, 0, SEEK_SET);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    return text;
}

// The lines as the reader takes them, each up to its line feed.
std::vector<std::string> read_lines(line_reader& r) {
    std::vector<std::string> lines;
    while (const char* line = take_line(r)) lines.emplace_back(line, line_feed_after(line, r.lines_end) + 1);
    EXPECT_FALSE(r.failed);
    return lines;
}

// The lines of a text split after each line feed; a last line without one
// is given one.
std::vector<std::string> split_after_line_feeds(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t lf = text.find('\n', start);
        std::size_t stop = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(start, stop - start) + (lf == std::string::npos ? "\n" : ""));
        start = stop;
    }
    return lines;
}

TEST(LineReader, SplitsLikeLineFeedsAcrossBlocksLongLinesAndAnUnendedLastLine) {
    std::mt19937 rng(7);
    std::string text;
    // Many short lines, so that lines straddle every block boundary, a few
    // lines longer than a block, CR LF endings, and no final line feed.
    while (text.size() < 5 * read_block_size) {
        std::size_t len = rng() % 50 == 0 ? read_block_size + rng() % 100000 : rng() % 90;
        text += std::string(len, static_cast<char>('a' + rng() % 26));
        text += rng() % 3 == 0 ? "\r\n" : "\n";
    }
    text += "last line";
    int fd = file_with(text);
    line_reader r = make_line_reader(fd);
    EXPECT_EQ(read_lines(r), split_after_line_feeds(text));
    // The buffer grown for a long line shrinks back once it is done.
    EXPECT_LE(r.buf.size(), 3 * read_block_size);
    close(r.fd);
}

TEST(LineReader, EmptyInputLoneLineFeedAndReadError) {
    for (const char* text : {"", "\n"}) {
        int fd = file_with(text);
        line_reader r = make_line_reader(fd);
        EXPECT_EQ(read_lines(r), split_after_line_feeds(text)) << text;
        close(fd);
    }
    int fd = open("/", O_RDONLY);
    line_reader r = make_line_reader(fd);
    EXPECT_EQ(take_line(r), nullptr);
    EXPECT_TRUE(r.failed);
    close(fd);
}

TEST(OutBuf, WritesPiecesInOrderAndRecordsFailure) {
    // Pieces shorter and longer than the blocks.
    int fd = file_with("");
    out_buf o = make_out_buf(dup(fd));
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        std::string piece = std::to_string(i) + std::string(static_cast<std::size_t>(i * 37 % 3000), 'x') + "\n";
        out_put(o, piece);
        expected += piece;
    }
    EXPECT_TRUE(out_close(o));
    EXPECT_EQ(contents(fd), expected);
    close(fd);

    out_buf full = make_out_buf(open("/dev/full", O_WRONLY));
    out_put(full, std::string(3 * write_block_size, 'b'));
    out_put(full, "more");
    EXPECT_FALSE(out_close(full));
}

// A held place whose bytes outgrow memory where no spool can be made: the
// output fails naming the spool's folder, and a stretch that ends right
// there puts nothing, rather than moving bytes that are gone.
TEST(OutBuf, HeldBytesWithoutRoomForASpoolFailTheOutput) {
    int fd = open_spool_file();
    ASSERT_GE(fd, 0);
    const char* old_tmpdir = std::getenv("TMPDIR");
    std::string saved = old_tmpdir != nullptr ? old_tmpdir : "";
    setenv("TMPDIR", "/nonexistent", 1);
    out_buf o = make_out_buf(fd);
    out_put(o, "before\n");
    o.pos = out_hold(o, o.pos, 10);
    while (!o.failed) {
        char* q = out_line_room(o, o.pos);
        std::memcpy(q, "1 2 0.500000\n", 13);
        o.pos = q + 13;
    }
    EXPECT_TRUE(o.spool_failed);
    EXPECT_EQ(o.spool_folder, "/nonexistent");
    EXPECT_EQ(o.held, nullptr);
    if (saved.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", saved.c_str(), 1);
    close(fd);
}

}  // namespace
