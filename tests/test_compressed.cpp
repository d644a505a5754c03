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
        const char* gzip_reason;
        const char* zstd_reason;
    };
    const damage damages[] = {
        {"head -c 3000 packed >bad", "gzip data cut short", "zstd data cut short"},
        {"{ cat packed; printf 'junk'; } >bad", "data after the end of the gzip data", "data after the end of the zstd data"},
        {"size=$(wc -c <packed); { head -c $((size - 3)) packed; printf 'X'; tail -c 2 packed; } >bad",
         "gzip data damaged: bad checksum", "zstd data damaged: bad checksum"},
    };
    const tool_case& t = tool(1);
    for (const auto& f : formats) {
        if (!f.built) continue;
        for (const auto& d : damages) {
            temp_dir dir;
            prepare(dir, t, f);
            run_shell("cd " + shell_quoted(dir.path.string()) + " && mv in" + f.suffix + " packed && " + d.command);
            write_text(dir.file("out"), "keep\n");
            tool_run r = run_shell(run_line(t, shell_quoted(dir.file("bad")), shell_quoted(dir.file("out"))));
            std::string reason = f.suffix == std::string(".gz") ? d.gzip_reason : d.zstd_reason;
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

}  // namespace
