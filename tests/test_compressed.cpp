// Compressed inputs and outputs: the text inside is read and written as a
// plain file's, and damaged streams fail the run. The streams are made and
// checked by the gzip and zstd programs, not by the tools' own code.
#include <gtest/gtest.h>

#include "tool_harness.h"

namespace {

struct format_case {
    const char* name;
    const char* compress;    // a shell command from standard input to standard output
    const char* decompress;  // and back
    const char* suffix;
    bool built;
};

const format_case formats[] = {
#ifdef STATETOOLS_GZIP
    {"gzip", "gzip -c", "gzip -dc", ".gz", true},
#else
    {"gzip", "gzip -c", "gzip -dc", ".gz", false},
#endif
#ifdef STATETOOLS_ZSTD
    {"zstd", "zstd -q -c", "zstd -q -dc", ".zst", true},
#else
    {"zstd", "zstd -q -c", "zstd -q -dc", ".zst", false},
#endif
#ifdef STATETOOLS_XZ
    {"xz", "xz -c", "xz -dc", ".xz", true},
#else
    {"xz", "xz -c", "xz -dc", ".xz", false},
#endif
#ifdef STATETOOLS_BZIP2
    {"bzip2", "bzip2 -c", "bzip2 -dc", ".bz2", true},
#else
    {"bzip2", "bzip2 -c", "bzip2 -dc", ".bz2", false},
#endif
};

struct tool_case {
    const char* name;
    const char* arguments;  // before the files
    std::string input;
};

// Inputs of some hundred kilobytes, so that the compressed streams span
// several blocks of the reader.
std::string transitions(int first_index) {
    std::string text = "STATES 9000\nTRANSITIONS 36000\n";
    for (int row = 0; row < 9000; ++row)
        for (int k = 0; k < 4; ++k)
            text += std::to_string(row + first_index) + " " + std::to_string((row * 7 + k * 1000) % 9000 + first_index) +
                    " 0." + std::to_string(row * 4 + k + 1) + "\n";
    return text;
}

std::string listing() {
    std::string text;
    for (int state = 0; state < 20000; ++state)
        text += std::to_string(state) + ":(" + std::to_string(state % 5) + ",1,2,0,0,0,1,0," + std::to_string(state % 3) +
                ",0,1)\n";
    return text;
}

const tool_case& tool(int i) {
    static const tool_case tools[] = {
        {"onebase", "", transitions(0)},
        {"diagfill", "", transitions(1)},
        {"minmark", "20000 3", listing()},
    };
    return tools[i];
}

std::string run_line(const tool_case& t, const std::string& in, const std::string& out) {
    return shell_quoted(tool_path(t.name)) + " " + t.arguments + " " + in + " " + out;
}

// Makes dir/in (plain), its output dir/plain, and dir/in.SUFFIX holding the
// input compressed twice over (two members, two frames).
void prepare(const temp_dir& dir, const tool_case& t, const format_case& f) {
    write_text(dir.file("in"), t.input);
    std::string in = shell_quoted(dir.file("in"));
    std::string packed = shell_quoted(dir.file(std::string("in") + f.suffix));
    ASSERT_EQ(run_shell(std::string("head -c 150000 ") + in + " | " + f.compress + " >" + packed + " && tail -c +150001 " +
                        in + " | " + f.compress + " >>" + packed)
                  .status,
              0);
    ASSERT_EQ(run_shell(run_line(t, in, shell_quoted(dir.file("plain")))).status, 0);
}

TEST(Compressed, InputsOfSeveralMembersReadAsThePlainFileFromAFileOrAPipe) {
    for (const auto& f : formats) {
        if (!f.built) continue;
        for (int i = 0; i < 3; ++i) {
            const tool_case& t = tool(i);
            temp_dir dir;
            prepare(dir, t, f);
            std::string packed = shell_quoted(dir.file(std::string("in") + f.suffix));
            tool_run from_file = run_shell(run_line(t, packed, shell_quoted(dir.file("out"))));
            EXPECT_EQ(from_file.status, 0) << t.name << " " << f.name << from_file.errors;
            EXPECT_EQ(read_text(dir.file("out")), read_text(dir.file("plain"))) << t.name << " " << f.name;
            tool_run from_pipe = run_shell("cat " + packed + " | " + run_line(t, "-", "-") + " 2>/dev/null");
            EXPECT_EQ(from_pipe.output, read_text(dir.file("plain"))) << t.name << " " << f.name;
        }
    }
}

TEST(Compressed, OutputsNamedForAFormatDecompressToThePlainOutput) {
    for (const auto& f : formats) {
        for (int i = 0; i < 3; ++i) {
            const tool_case& t = tool(i);
            temp_dir dir;
            write_text(dir.file("in"), t.input);
            std::string out = dir.file(std::string("out") + f.suffix);
            tool_run r = run_shell(run_line(t, shell_quoted(dir.file("in")), shell_quoted(out)));
            if (!f.built) {
                EXPECT_EQ(r.status, 1) << t.name;
                EXPECT_NE(r.errors.find("which this build lacks"), std::string::npos) << r.errors;
                continue;
            }
            ASSERT_EQ(r.status, 0) << t.name << " " << f.name << r.errors;
            ASSERT_EQ(run_shell(run_line(t, shell_quoted(dir.file("in")), shell_quoted(dir.file("plain")))).status, 0);
            tool_run unpacked = run_shell(std::string(f.decompress) + " " + shell_quoted(out));
            EXPECT_EQ(unpacked.status, 0) << t.name << " " << f.name;
            EXPECT_EQ(unpacked.output, read_text(dir.file("plain"))) << t.name << " " << f.name;
        }
    }
}

// Damage in the middle of the data, in the checksum at its end, a stream
// cut short and bytes after its end: each fails the run with what is wrong
// and leaves the old output as it was.
TEST(Compressed, DamagedOrCutInputFailsWithTheReasonAndKeepsTheOutput) {
    struct damage {
        const char* command;  // turns packed into bad
        const char* reasons[4];  // for each format, in the order of formats
    };
    const damage damages[] = {
        {"head -c 3000 packed >bad",
         {"gzip data cut short", "zstd data cut short", "xz data cut short", "bzip2 data cut short"}},
        {"{ cat packed; printf 'junk'; } >bad",
         {"data after the end of the gzip data", "data after the end of the zstd data",
          "data after the end of the xz data", "data after the end of the bzip2 data"}},
        {"size=$(wc -c <packed); { head -c $((size - 3)) packed; printf 'X'; tail -c 2 packed; } >bad",
         {"gzip data damaged: bad checksum", "zstd data damaged: bad checksum", "xz data damaged",
          "bzip2 data damaged"}},
    };
    const tool_case& t = tool(1);
    for (const auto& f : formats) {
        if (!f.built) continue;
        auto format_index = static_cast<std::size_t>(&f - formats);
        for (const auto& d : damages) {
            temp_dir dir;
            prepare(dir, t, f);
            run_shell("cd " + shell_quoted(dir.path.string()) + " && mv in" + f.suffix + " packed && " + d.command);
            write_text(dir.file("out"), "keep\n");
            tool_run r = run_shell(run_line(t, shell_quoted(dir.file("bad")), shell_quoted(dir.file("out"))));
            std::string reason = d.reasons[format_index];
            EXPECT_EQ(r.status, 1) << f.name << " " << d.command;
            EXPECT_EQ(r.output, "here\ndone: 0\n");
            EXPECT_EQ(r.errors, "diagfill: " + dir.file("bad") + ": " + reason + "\n") << d.command;
            EXPECT_EQ(read_text(dir.file("out")), "keep\n");
        }
    }
}

TEST(Compressed, CheckReportsThePlainFilesLineNumbers) {
    const std::string input = "STATES 3\nTRANSITIONS 3\n1 2 0.5\n\n2 1 x\n3 3 1\n";
    for (const auto& f : formats) {
        if (!f.built) continue;
        temp_dir dir;
        write_text(dir.file("in"), input);
        std::string packed = dir.file(std::string("in") + f.suffix);
        run_shell(std::string(f.compress) + " <" + shell_quoted(dir.file("in")) + " >" + shell_quoted(packed));
        tool_run plain = run_tool("diagfill", {"--check", dir.file("in")});
        tool_run compressed = run_tool("diagfill", {"--check", packed});
        EXPECT_EQ(compressed.status, 1);
        std::string expected = plain.output;
        for (std::size_t at = 0; (at = expected.find(dir.file("in"), at)) != std::string::npos;
             at += packed.size())
            expected.replace(at, dir.file("in").size(), packed);
        EXPECT_EQ(compressed.output, expected) << f.name;
    }
}

// --check on damaged data lists the problems before the damage, the damage
// as the problem at the line where the text stops, and the summary.
TEST(Compressed, CheckOfDamagedDataListsWhatCameBeforeAndTheDamage) {
    // Two megabytes of values that compress little, so that each format
    // has decoded text before the damage (bzip2 in blocks of 900 kB).
    std::string input = "STATES 3\nTRANSITIONS 3\n1 2 0.5\n\n";
    std::uint64_t x = 1;
    while (input.size() < 2'000'000) {
        x = x * 6364136223846793005u + 1442695040888963407u;
        input += "2 1 0." + std::to_string(x >> 20) + "\n";
    }
    for (const auto& f : formats) {
        if (!f.built) continue;
        auto format_index = static_cast<std::size_t>(&f - formats);
        temp_dir dir;
        write_text(dir.file("in"), input);
        std::string packed = dir.file(std::string("in") + f.suffix);
        run_shell(std::string(f.compress) + " <" + shell_quoted(dir.file("in")) + " >" + shell_quoted(dir.file("whole")) +
                  " && head -c $(($(wc -c <" + shell_quoted(dir.file("whole")) + ") - 30)) " +
                  shell_quoted(dir.file("whole")) + " >" + shell_quoted(packed));
        tool_run r = run_tool("diagfill", {"--check", packed});
        EXPECT_EQ(r.status, 1) << f.name;
        EXPECT_EQ(r.errors, "") << f.name;
        const char* cut[] = {"gzip data cut short", "zstd data cut short", "xz data cut short", "bzip2 data cut short"};
        EXPECT_EQ(r.output.find(packed + ":4: blank line"), 0u) << f.name << r.output;
        EXPECT_NE(r.output.find(": " + std::string(cut[format_index]) + "\n"), std::string::npos) << f.name << r.output;
        EXPECT_NE(r.output.find(": 2 problems\n"), std::string::npos) << f.name << r.output;
    }
}

#ifdef STATETOOLS_GZIP
// The CRC-32 of gzip, bit by bit: for the headers the tests make.
std::uint32_t crc32_of(const std::string& bytes) {
    std::uint32_t crc = 0xffffffff;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// gzip's member of text, its plain header of ten bytes left off.
std::string gzip_body(const temp_dir& dir, const std::string& text) {
    write_text(dir.file("member.txt"), text);
    return run_shell("gzip -nc " + shell_quoted(dir.file("member.txt"))).output.substr(10);
}

// A member header with the fields the flags ask for: an extra field, a
// name, a comment, the header's checksum.
std::string gzip_header(int flags, const std::string& name) {
    std::string header("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    header[3] = static_cast<char>(flags);
    if (flags & 4) header += std::string("\x06\x00" "AB\x02\x00xy", 8);
    if (flags & 8) header += name + '\0';
    if (flags & 16) header += std::string("a comment") + '\0';
    if (flags & 2) {
        std::uint32_t crc = crc32_of(header);
        header += static_cast<char>(crc & 0xff);
        header += static_cast<char>(crc >> 8 & 0xff);
    }
    return header;
}

const std::string small_file = "STATES 3\nTRANSITIONS 2\n1 2 0.5\n2 1 0.25\n";

// diagfill's output from what a shell command writes to the pipe.
tool_run diagfill_from(const std::string& input_command) {
    return run_shell(input_command + " | " + shell_quoted(tool_path("diagfill")) + " - - 2>/dev/null");
}

std::string plain_diagfill(const temp_dir& dir, const std::string& text) {
    write_text(dir.file("plain.tra"), text);
    return diagfill_from("cat " + shell_quoted(dir.file("plain.tra"))).output;
}

// A pipe may deliver a header's first bytes apart from the rest (gzip
// stores the name by default): every split of a header of every field,
// in the first member and a later one, reads as the plain file does.
TEST(CompressedHeaders, GzipHeadersSplitAtAnyByteReadWhole) {
    temp_dir dir;
    const std::string want = plain_diagfill(dir, small_file + small_file);
    std::string body = gzip_body(dir, small_file);
    for (int flags : {8, 2 | 4 | 8 | 16}) {
        std::string header = gzip_header(flags, "chain.tra");
        write_text(dir.file("in.gz"), header + body + header + body);
        std::string in = shell_quoted(dir.file("in.gz"));
        std::size_t second = header.size() + body.size();
        for (std::size_t split = 1; split <= second + header.size() + 1; ++split) {
            if (split > header.size() + 1 && split < second) continue;
            std::string delivered = "{ head -c " + std::to_string(split) + " " + in + "; sleep 0.01; tail -c +" +
                                    std::to_string(split + 1) + " " + in + "; }";
            EXPECT_EQ(diagfill_from(delivered).output, want) << "flags " << flags << ", split at " << split;
        }
    }
}

// A name longer than a block, and a later member whose header straddles
// the end of the first block read (its length set by the first member's
// name).
TEST(CompressedHeaders, GzipHeadersOfAnyLengthAndPlace) {
    temp_dir dir;
    std::string body = gzip_body(dir, small_file);
    const std::string want = plain_diagfill(dir, small_file + small_file);
    std::string long_name(300000, 'n');
    for (std::size_t first_length : {std::size_t{300000}, std::size_t{262144 - 3}, std::size_t{262144 + 1}}) {
        std::string first = gzip_header(8, std::string(first_length - 11 - body.size(), 'n')) + body;
        std::string second = gzip_header(2 | 8 | 16, "second.tra") + body;
        write_text(dir.file("in.gz"), first + second);
        EXPECT_EQ(diagfill_from("cat " + shell_quoted(dir.file("in.gz"))).output, want) << first_length;
    }
}

// What gzip itself accepts or refuses after and in a header.
TEST(CompressedHeaders, GzipPaddingAndDamagedHeaders) {
    temp_dir dir;
    std::string body = gzip_body(dir, small_file);
    const std::string want = plain_diagfill(dir, small_file);
    write_text(dir.file("padded.gz"), gzip_header(8, "a") + body + std::string(1000, '\0'));
    EXPECT_EQ(diagfill_from("cat " + shell_quoted(dir.file("padded.gz"))).output, want);

    std::string wrong_crc = gzip_header(2 | 8, "a");
    wrong_crc.back() ^= 1;
    std::string reserved = gzip_header(8, "a");
    reserved[3] |= 0x20;
    for (const std::string& header : {wrong_crc, reserved}) {
        write_text(dir.file("bad.gz"), header + body);
        tool_run r = run_tool("diagfill", {dir.file("bad.gz"), dir.file("out")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.errors, "diagfill: " + dir.file("bad.gz") + ": gzip data damaged: bad member header\n");
    }
    write_text(dir.file("junk.gz"), gzip_header(8, "a") + body + std::string(10, '\0') + "x");
    tool_run r = run_tool("diagfill", {dir.file("junk.gz"), dir.file("out")});
    EXPECT_EQ(r.errors, "diagfill: " + dir.file("junk.gz") + ": data after the end of the gzip data\n");
}

// A run that stops at a bad line of a compressed pipe ends at once, though
// the writer has not closed the pipe.
TEST(CompressedHeaders, StrictStopDoesNotWaitForAStalledWriter) {
    temp_dir dir;
    write_text(dir.file("bad.tra"), "STATES 3\nTRANSITIONS 2\n1 2 0.5\n\n");
    std::string fifo = shell_quoted(dir.file("fifo"));
    tool_run r = run_shell("mkfifo " + fifo + "; { gzip -c " + shell_quoted(dir.file("bad.tra")) +
                           "; sleep 30; } >" + fifo + " & writer=$!; timeout 10 " +
                           shell_quoted(tool_path("diagfill")) + " --strict " + fifo + " " +
                           shell_quoted(dir.file("out")) + "; echo status $?; kill $writer; pkill -P $writer sleep");
    EXPECT_EQ(r.output, "here\ndone: 0\nstatus 1\n");
    EXPECT_NE(r.errors.find("blank line"), std::string::npos) << r.errors;
}
#endif

#ifdef STATETOOLS_ZSTD
// zstd's skippable frames (the parallel zstd tool starts its files with
// one) hold no text, wherever they stand.
TEST(CompressedHeaders, ZstdSkippableFramesAreSkipped) {
    temp_dir dir;
    const std::string want = plain_diagfill(dir, small_file + small_file);
    std::string plain = shell_quoted(dir.file("plain.tra"));
    write_text(dir.file("plain.tra"), small_file);
    std::string frame = run_shell("zstd -qc " + plain).output;
    std::string skippable = std::string("\x5a\x2a\x4d\x18\x05\x00\x00\x00hello", 13);
    write_text(dir.file("in.zst"), skippable + frame + skippable + frame + skippable);
    EXPECT_EQ(diagfill_from("cat " + shell_quoted(dir.file("in.zst"))).output, want);
    write_text(dir.file("plain.tra"), small_file + small_file);
    EXPECT_EQ(diagfill_from("pzstd -qc -p 2 " + plain).output, want);
}
#endif

// Formats the tools do not read fail with their name, never read as text;
// outputs named in capitals are compressed as in small letters.
TEST(CompressedHeaders, OtherFormatsAndCapitalNames) {
    temp_dir dir;
    struct other {
        std::string bytes;
        const char* reason;
    } const others[] = {
        {std::string("\x04\x22\x4d\x18\x64\x40\xa7", 7), "lz4 data, which these tools do not read"},
        {std::string("PK\x03\x04\x14\x00", 6), "zip data, which these tools do not read"},
        {std::string("7z\xbc\xaf\x27\x1c", 6), "7-Zip data, which these tools do not read"},
    };
    for (const auto& o : others) {
        write_text(dir.file("in"), o.bytes + "STATES 3\n");
        tool_run r = run_tool("onebase", {dir.file("in"), dir.file("out")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.errors, "onebase: " + dir.file("in") + ": " + o.reason + "\n");
    }
    write_text(dir.file("in"), small_file);
    for (const auto& f : formats) {
        if (!f.built) continue;
        std::string upper = f.suffix;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string out = dir.file("OUT" + upper);
        ASSERT_EQ(run_tool("onebase", {dir.file("in"), out}).status, 0);
        EXPECT_EQ(run_shell(std::string(f.decompress) + " <" + shell_quoted(out)).output,
                  "STATES 3\nTRANSITIONS 2\n2 3 0.500000\n3 2 0.250000\n")
            << upper;
    }
}

}  // namespace
