// Faults found on large and unlucky inputs, each pinned by the runs that
// showed it.
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tool_harness.h"

namespace {

struct wide_case {
    const char* name;
    std::string tool;
    std::vector<std::string> numbers;  // minmark's size and k
    std::string input, output, done;
};

// Numbers past 32 bits are read, kept and written in 64 bits.
TEST(Regression, NumbersAreSixtyFourBit) {
    const std::string max = "9223372036854775807", min = "-9223372036854775808";
    const std::string a_marks = ",0,0,0,0,0,0,0,1,0,0)\n";  // field 9 set
    const wide_case cases[] = {
        {"header numbers as read", "diagfill", {}, "STATES " + min + "\nTRANSITIONS 3000000000\n",
         "STATES " + min + "\nTRANSITIONS 3000000000\n", "1"},
        {"rows past 2^31 outside the table", "diagfill", {}, "S 3\nT 1\n3000000000 3000000000 1\n",
         "S 3\nT 1\n3000000000 3000000000 1.000000\n", "1"},
        {"largest indices shifted without wrap", "onebase", {}, "S 1\nT 1\n" + max + " " + min + " 1\n",
         "S 1\nT 1\n9223372036854775808 -9223372036854775807 1.000000\n", "1"},
        {"largest indices written anew", "onebase", {}, "S 1\nT 1\n+" + max + " 0" + max + " 1\n",
         "S 1\nT 1\n9223372036854775808 9223372036854775808 1.000000\n", "1"},
        {"index past 64 bits keeps the fields", "onebase", {}, "S 1\nT 1\n5 6 0.5\n9223372036854775808 1 2\n",
         "S 1\nT 1\n6 7 0.500000\n6 7 0.500000\n", "1"},
        {"size and k past 32 bits", "minmark", {"3000000000", "99999999999"},
         "2999999999:(99999999999" + a_marks, "3000000000  minimum\n", "3000000000"},
        {"field 1 + field 3 past 64 bits", "minmark", {"1", "9000000000000000000"},
         "0:(5000000000000000000,0,5000000000000000000,0,0,0,1,0,1,0,1)\n", "1  minimum\n", "1"},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        write_text(dir.file("in"), c.input);
        std::vector<std::string> args = c.numbers;
        args.push_back(dir.file("in"));
        args.push_back(dir.file("out"));
        tool_run r = run_tool(c.tool, args);
        EXPECT_EQ(r.output, (c.tool == "diagfill" ? "here\ndone: " : "done: ") + c.done + "\n") << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
        std::string want = c.tool == "minmark" ? "#DECLARATION\nminimum\n#END\n" + c.output : c.output;
        EXPECT_EQ(read_text(dir.file("out")), want) << c.name;
    }
    // The least size gives no index in range, without a 64-bit overflow
    // in the range a check works out.
    temp_dir dir;
    write_text(dir.file("in"), "STATES " + min + "\nTRANSITIONS 1\n0 0 1\n");
    for (const char* tool : {"onebase", "diagfill"}) {
        tool_run r = run_tool(tool, {"--check", dir.file("in")});
        EXPECT_EQ(r.status, 1) << tool;
        EXPECT_NE(r.output.find(":3: row 0 is outside"), std::string::npos) << tool << r.output;
    }
}

// A row's sum keeps the first NaN it takes, sign and all, as C's addition
// on x86-64 does; the diagonal then flips that sign.
TEST(Regression, NanRowSumKeepsItsFirstNan) {
    struct nan_case {
        const char* values;
        const char* diagonal;
    };
    const nan_case cases[] = {
        {"-inf\n1 1 inf\n1 1 nan(abc)\n1 1\n", "nan"},  // inf - inf is the default NaN, sign set
        {"nan\n1 1 -nan\n", "-nan"},
        {"-nan\n1 1 nan\n", "nan"},
        {"1\n1 1 -nan\n1 1 2\n", "nan"},
    };
    for (const auto& c : cases) {
        std::string input = std::string("S 1\nT 1\n1 1 ") + c.values;
        std::string out = convert_text("diagfill", input, "here\ndone: 1\n");
        std::size_t after_header = input.find("1 1");
        std::string diagonal = out.substr(after_header, out.find('\n', after_header) + 1 - after_header);
        EXPECT_EQ(diagonal, std::string("1 1 ") + c.diagonal + "\n") << c.values;
    }
}

std::string limited(std::size_t kib, const std::string& tool, const std::vector<std::string>& args) {
    std::string command = "ulimit -v " + std::to_string(kib) + "; exec " + shell_quoted(tool_path(tool));
    for (const auto& a : args) command += " " + shell_quoted(a);
    return command + " 2>/dev/null";
}

// Under an address-space limit, as batch clusters set one, a run either
// does its work or fails cleanly (done 0, status 1); it never aborts. A line
// of tens of megabytes costs little more room than itself.
TEST(Regression, MemoryLimits) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limits leave";
#endif
    temp_dir dir;
    std::string tra = "STATES 20000\nTRANSITIONS 200000\n", listing;
    const char* values[] = {"0.5", "0.12345678901234567", "2e-3", "7", "0.333333"};
    for (int row = 1; row <= 20000; ++row)
        for (int col = 1; col <= 10; ++col)
            tra += std::to_string(row) + " " + std::to_string(col * 7 % 20000 + 1) + " " + values[(row + col) % 5] + "\n";
    for (int state = 0; state < 100000; ++state) listing += std::to_string(state) + ":(2,0,1,0,0,0,1,0,1,0,3)\n";
    write_text(dir.file("in.tra"), tra);
    // Its first entry in the largest row: the whole file waits for that
    // row's sum, past what is kept in memory.
    write_text(dir.file("stretch.tra"), tra.substr(0, tra.find('\n', tra.find('\n') + 1) + 1) + "20000 20000 1\n" +
                                            tra.substr(tra.find('\n', tra.find('\n') + 1) + 1));
    write_text(dir.file("in.lst"), listing);
    // Compressed both ways: the libraries' memory must fail as cleanly.
    run_shell("gzip -c " + shell_quoted(dir.file("in.tra")) + " >" + shell_quoted(dir.file("in.tra.gz")) + "; zstd -q -c " +
              shell_quoted(dir.file("in.tra")) + " >" + shell_quoted(dir.file("in.tra.zst")) + "; xz -c " +
              shell_quoted(dir.file("in.tra")) + " >" + shell_quoted(dir.file("in.tra.xz")) + "; bzip2 -c " +
              shell_quoted(dir.file("in.tra")) + " >" + shell_quoted(dir.file("in.tra.bz2")));
    std::string line(40'000'000, ' ');
    write_text(dir.file("long.tra"), "S 2\nT 2\n1 2 0.5" + line + "\n2 2 0.25" + line + "\n");
    struct limited_case {
        std::string tool;
        std::vector<std::string> args;  // the output file last
        std::string done;
    };
    const limited_case cases[] = {
        {"onebase", {dir.file("in.tra"), dir.file("out")}, "done: 1\n"},
        {"diagfill", {dir.file("in.tra"), dir.file("out")}, "here\ndone: 1\n"},
        {"diagfill", {dir.file("stretch.tra"), dir.file("out")}, "here\ndone: 1\n"},
        {"minmark", {"100000", "2", dir.file("in.lst"), dir.file("out")}, "done: 100000\n"},
#if defined(STATETOOLS_GZIP) && defined(STATETOOLS_ZSTD)
        {"diagfill", {dir.file("in.tra.gz"), dir.file("out.zst")}, "here\ndone: 1\n"},
        {"onebase", {dir.file("in.tra.zst"), dir.file("out.gz")}, "done: 1\n"},
#endif
#if defined(STATETOOLS_XZ) && defined(STATETOOLS_BZIP2)
        {"diagfill", {dir.file("in.tra.xz"), dir.file("out.bz2")}, "here\ndone: 1\n"},
        {"onebase", {dir.file("in.tra.bz2"), dir.file("out.xz")}, "done: 1\n"},
#endif
    };
    for (const auto& c : cases) {
        tool_run whole = run_tool(c.tool, c.args);
        ASSERT_EQ(whole.output, c.done) << c.tool;
        const std::string& out = c.args.back();
        std::string expected = read_text(out);
        for (std::size_t mib = 4; mib <= 40; mib += 2) {
            fs::remove(out);
            tool_run r = run_shell(limited(mib * 1024, c.tool, c.args));
            std::string what = c.tool + " in " + std::to_string(mib) + " MiB";
            if (r.status == 127 && mib < 12) continue;  // too little to load the program
            if (r.status == 0) {
                EXPECT_EQ(r.output, c.done) << what;
                EXPECT_EQ(read_text(out), expected) << what;
            } else {
                EXPECT_EQ(r.status, 1) << what;
                EXPECT_EQ(r.output, c.tool == "diagfill" ? "here\ndone: 0\n" : "done: 0\n") << what;
            }
        }
        EXPECT_EQ(run_shell(limited(40 * 1024, c.tool, c.args)).status, 0) << c.tool;
    }
    // 1.25 times the longest line and 32 MiB are enough.
    const std::size_t long_line_kib = (line.size() + line.size() / 4) / 1024 + 32 * 1024;
    tool_run shifted = run_shell(limited(long_line_kib, "onebase", {dir.file("long.tra"), dir.file("out")}));
    EXPECT_EQ(shifted.output, "done: 1\n");
    EXPECT_EQ(read_text(dir.file("out")), "S 2\nT 2\n2 3 0.500000\n3 3 0.250000\n");
    tool_run completed = run_shell(limited(long_line_kib, "diagfill", {dir.file("long.tra"), dir.file("out")}));
    EXPECT_EQ(completed.output, "here\ndone: 1\n");
    EXPECT_EQ(read_text(dir.file("out")), "S 2\nT 2\n1 1 -0.500000\n1 2 0.500000\n2 2 -0.250000\n2 2 0.250000\n");
}

// Whether the process is blocked writing to its standard output.
bool writing_to_stdout(pid_t pid) {
    std::string call = read_text("/proc/" + std::to_string(pid) + "/syscall");
    return call.rfind("1 0x1 ", 0) == 0;
}

// Runs diagfill with its standard output a full pipe, so that it stops at
// "here", with its input open and not yet read; `between` runs there before
// the rest of the run is let go.
tool_run diagfill_paused(const std::string& in, const std::string& out, const std::function<void()>& between) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    std::size_t filled = 0;
    char block[4096] = {};
    for (ssize_t n; (n = write(fds[1], block, sizeof block)) > 0 || (n < 0 && errno == EINTR);)
        filled += n > 0 ? static_cast<std::size_t>(n) : 0;
    for (; write(fds[1], block, 1) == 1;) ++filled;
    fcntl(fds[1], F_SETFL, 0);
    std::string tool = tool_path("diagfill");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execl(tool.c_str(), tool.c_str(), in.c_str(), out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!writing_to_stdout(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    between();
    tool_run r;
    for (ssize_t n; (n = read(fds[0], block, sizeof block)) != 0;)
        if (n > 0) r.output.append(block, static_cast<std::size_t>(n));
    close(fds[0]);
    r.output.erase(0, filled);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

// diagfill reads the file it opened, even when another file takes its
// name, or none does, before it reads.
TEST(Regression, ReadsTheFileItOpened) {
    const std::string first = "S 2\nT 2\n1 2 0.5\n2 2 1\n";
    const std::string completed = "S 2\nT 2\n1 1 -0.500000\n1 2 0.500000\n2 2 -1.000000\n2 2 1.000000\n";
    struct change_case {
        const char* name;
        std::function<void(const temp_dir&)> change;
    };
    const change_case cases[] = {
        {"replaced", [](const temp_dir& d) { fs::rename(d.file("next"), d.file("in")); }},
        {"deleted", [](const temp_dir& d) { fs::remove(d.file("in")); }},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        write_text(dir.file("in"), first);
        write_text(dir.file("next"), "S 9\nT 1\n9 9 9\n");
        write_text(dir.file("out"), "an older output");
        tool_run r = diagfill_paused(dir.file("in"), dir.file("out"), [&] { c.change(dir); });
        EXPECT_EQ(r.output, "here\ndone: 1\n") << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(read_text(dir.file("out")), completed) << c.name;
    }
}

// A run that cannot read its input leaves an existing output as it was, and
// creates a missing one empty (minmark creates none).
TEST(Regression, UnreadableInputLeavesTheOutput) {
    struct input_case {
        std::string tool, done;
        bool creates;
    };
    const input_case tools[] = {{"onebase", "done: 0\n", true},
                                {"diagfill", "here\ndone: 0\n", true},
                                {"minmark", "done: 0\n", false}};
    for (const auto& t : tools) {
        for (const char* input : {"missing", "adir"}) {
            for (bool exists : {true, false}) {
                temp_dir dir;
                fs::create_directory(dir.file("adir"));
                if (exists) write_text(dir.file("out"), "keep");
                std::vector<std::string> args = {dir.file(input), dir.file("out")};
                if (t.tool == "minmark") args.insert(args.begin(), {"2", "2"});
                tool_run r = run_tool(t.tool, args);
                std::string what = t.tool + " " + input + (exists ? " over an output" : "");
                EXPECT_EQ(r.output, t.done) << what;
                EXPECT_EQ(r.status, 1) << what;
                EXPECT_EQ(fs::exists(dir.file("out")), exists || t.creates) << what;
                if (fs::exists(dir.file("out"))) {
                    EXPECT_EQ(read_text(dir.file("out")), exists ? "keep" : "") << what;
                }
            }
        }
    }
}

}  // namespace
