// What the tools say besides their done lines: one reason on standard error
// for each kind of failure, --help and --version, "-" as standard input,
// and the progress line, on a terminal only.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "tool_harness.h"

namespace {

struct tool_case {
    std::string name;
    std::string arguments;  // before the file names
    std::string input;
    std::string failed;  // standard output of a failed run
};

const tool_case tools[] = {
    {"onebase", "", "S 2\nT 2\n0 1 0.5\n1 0 2\n", "done: 0\n"},
    {"diagfill", "", "S 2\nT 2\n1 2 0.5\n2 1 2\n", "here\ndone: 0\n"},
    {"minmark", "2 2", "0:(2,0,0,0,0,0,0,0,1,0,0)\n", "done: 0\n"},
};

// "TOOL ARGUMENTS IN OUT", with a shell prefix and suffix.
tool_run run_on(const tool_case& t, const std::string& in, const std::string& out, const std::string& before = "",
                const std::string& after = "") {
    return run_shell(before + shell_quoted(tool_path(t.name)) + " " + t.arguments + " " + shell_quoted(in) + " " +
                     shell_quoted(out) + after);
}

TEST(Messages, EachFailureGivesOneReasonOnStandardError) {
    for (const auto& t : tools) {
        temp_dir dir;
        write_text(dir.file("in"), t.input);
        fs::create_directory(dir.file("adir"));
        bool copies = t.name != "minmark";
        struct failure_kind {
            std::string what, in, out, before, after, reason;
            bool applies;
        };
        // Row 9's diagonal entry waits for its sum, and the lines of row 1
        // behind it outgrow what is kept in memory.
        const std::string long_stretch = "{ printf 'S 9\\nT 9\\n9 9 1\\n'; yes '1 2 0.5' | head -n 300000; }";
        const failure_kind kinds[] = {
            {"missing input", dir.file("none"), dir.file("out"), "", "",
             dir.file("none") + ": No such file or directory", true},
            {"directory as input", dir.file("adir"), dir.file("out"), "", "", dir.file("adir") + ": Is a directory",
             true},
            {"output not creatable", dir.file("in"), dir.file("adir/no/out"), "", "",
             dir.file("adir/no/out") + ": No such file or directory", true},
            {"full disk", dir.file("in"), "/dev/full", "", "", "/dev/full: No space left on device", true},
            {"same file", dir.file("in"), dir.file("in"), "", "", dir.file("in") + ": input and output are the same file",
             copies},
            {"empty input path", "", dir.file("out"), "", "", "'': No such file or directory", true},
            {"empty output path", dir.file("in"), "", "", "", "'': No such file or directory", true},
            {"missing spool folder", "-", dir.file("out"), long_stretch + " | TMPDIR=/nonexistent ", "",
             "/nonexistent: No such file or directory", t.name == "diagfill"},
        };
        for (const auto& k : kinds) {
            if (!k.applies) continue;
            tool_run r = run_on(t, k.in, k.out, k.before, k.after);
            EXPECT_EQ(r.output, t.failed) << t.name << ", " << k.what;
            EXPECT_EQ(r.status, 1) << t.name << ", " << k.what;
            EXPECT_EQ(r.errors, t.name + ": " + k.reason + "\n") << t.name << ", " << k.what;
        }
        // A run that did its work but could not say so.
        tool_run closed = run_on(t, dir.file("in"), dir.file("out"), "", " >&-");
        EXPECT_EQ(closed.status, 1) << t.name;
        EXPECT_EQ(closed.errors, t.name + ": standard output: Bad file descriptor\n") << t.name;
    }
}

// An input whose output is far larger than a pipe's buffer.
std::string large_input(const tool_case& t) {
    std::string text = t.name == "minmark" ? "" : "S 2\nT 30000\n";
    for (int i = 0; i < 30000; ++i)
        // diagfill's rows ascend, so that no output waits for a row's sum.
        text += t.name == "minmark" ? std::to_string(i) + ":(2,0,0,0,0,0,0,0,1,0,0)\n"
                                    : t.name == "onebase" ? "0 1 0.5\n" : std::to_string(i + 1) + " 1 0.5\n";
    return text;
}

// Standard streams closed, broken or of the wrong kind, and output limits
// that a system enforces by signal: each run ends with its status and one
// reason, and where its input cannot be read, an existing output is left
// as it was.
TEST(Messages, BrokenStreamsAndOutputLimitsFailWithAReason) {
    for (const auto& t : tools) {
        tool_case big = t;
        if (t.name == "minmark") big.arguments = "30000 2";
        temp_dir dir;
        write_text(dir.file("in"), large_input(t));
        run_on(big, dir.file("in"), dir.file("expected"));
        std::string fifo = dir.file("fifo"), pipe = dir.file("pipe");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        fs::create_directory(dir.file("adir"));
        // A pipe on descriptor 4 whose reader has gone before the run starts.
        std::string readerless = "exec 3<>" + shell_quoted(pipe) + " 4>" + shell_quoted(pipe) + " 3<&-; ";
        struct stream_case {
            std::string what, in, out, before, after, reason, output;
            bool keeps_output;
        };
        const stream_case cases[] = {
            {"closed standard input", "-", dir.file("out"), "", " <&-", "standard input: Bad file descriptor",
             t.failed, true},
            {"closed standard input by name", "/dev/stdin", dir.file("out"), "", " <&-",
             "/dev/stdin: Bad file descriptor", t.failed, true},
            {"directory as standard input", "-", dir.file("out"), "", " <" + shell_quoted(dir.file("adir")),
             "standard input: Is a directory", t.failed, true},
            {"write-only standard input", "-", dir.file("out"), "", " 0>" + shell_quoted(dir.file("wo")),
             "standard input: Bad file descriptor", t.failed, true},
            {"file-size limit", dir.file("in"), dir.file("out"), "ulimit -f 100; ", "",
             dir.file("out") + ": File too large", t.failed, false},
            {"output pipe closed early", dir.file("in"), fifo, "head -c 100 " + shell_quoted(fifo) + " >/dev/null & ", "",
             fifo + ": Broken pipe", t.failed, false},
            {"standard output a pipe without reader", dir.file("in"), dir.file("out"), readerless, " >&4",
             "standard output: Broken pipe", "", false},
        };
        for (const auto& c : cases) {
            write_text(dir.file("out"), "keep\n");
            tool_run r = run_on(big, c.in, c.out, "(" + c.before, c.after + ")");
            EXPECT_EQ(r.status, 1) << t.name << ", " << c.what;
            EXPECT_EQ(r.output, c.output) << t.name << ", " << c.what;
            EXPECT_EQ(r.errors, t.name + ": " + c.reason + "\n") << t.name << ", " << c.what;
            if (c.keeps_output) {
                EXPECT_EQ(read_text(dir.file("out")), "keep\n") << t.name << ", " << c.what;
            }
        }
        // A run whose messages could not be written still completes its output.
        EXPECT_EQ(read_text(dir.file("out")), read_text(dir.file("expected"))) << t.name;
        // --help and --version that could not be written.
        std::string tool = shell_quoted(tool_path(t.name));
        for (const char* option : {"--help", "--version"}) {
            tool_run full = run_shell(tool + " " + option + " >/dev/full");
            EXPECT_EQ(full.status, 1) << t.name << option;
            EXPECT_EQ(full.errors, t.name + ": standard output: No space left on device\n") << t.name << option;
            tool_run closed = run_shell(tool + " " + option + " >&-");
            EXPECT_EQ(closed.status, 1) << t.name << option;
            EXPECT_EQ(closed.errors, t.name + ": standard output: Bad file descriptor\n") << t.name << option;
        }
    }
}

TEST(Messages, NoMemoryForTheTableNamesItsSize) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    temp_dir dir;
    write_text(dir.file("in"), "S 2000000000\nT 1\n1 1 1\n");
    tool_run diagfill = run_on(tools[1], dir.file("in"), dir.file("out"), "ulimit -v 400000; ");
    EXPECT_EQ(diagfill.errors, "diagfill: not enough memory for 2000000000 states\n");
    tool_case huge = tools[2];
    huge.arguments = "9000000000000000000 2";
    tool_run minmark = run_on(huge, dir.file("in"), dir.file("out"), "ulimit -v 400000; ");
    EXPECT_EQ(minmark.errors, "minmark: not enough memory for 9000000000000000000 states\n");
    EXPECT_EQ(minmark.status, 1);
}

TEST(Messages, ALoneHelpOrVersionIsAnsweredAndOtherwiseAFileName) {
    temp_dir dir;
    for (const auto& t : tools) {
        std::string tool = shell_quoted(tool_path(t.name));
        std::string format = run_shell(tool).output;
        for (const char* option : {"--help", "-h"}) {
            tool_run help = run_shell(tool + " " + option);
            EXPECT_EQ(help.status, 0) << t.name << option;
            EXPECT_EQ(help.output.substr(0, format.size()), format) << t.name << option;
            EXPECT_NE(help.output.find("man " + t.name), std::string::npos) << t.name << option;
            EXPECT_EQ(help.errors, "") << t.name << option;
        }
        tool_run version = run_shell(tool + " --version");
        EXPECT_EQ(version.output, t.name + " (statetools) " STATETOOLS_VERSION "\n");
        EXPECT_EQ(version.status, 0);
        // Among more arguments, --help is an option out of place: the usage
        // line; a file of that name comes after "--".
        for (const char* option : {"--help", "--version"}) {
            tool_run misplaced = run_shell(tool + " --strict " + option + " " + t.arguments + " in out");
            EXPECT_EQ(misplaced.status, 2) << t.name;
            EXPECT_EQ(misplaced.output, format) << t.name;
            EXPECT_EQ(misplaced.errors, t.name + ": " + option + " takes no other arguments\n") << t.name;
        }
        tool_run named = run_shell("cd " + shell_quoted(dir.path.string()) + " && " + tool + " -- " + t.arguments +
                                   " --help out");
        EXPECT_EQ(named.status, 1) << t.name;
        EXPECT_EQ(named.errors, t.name + ": --help: No such file or directory\n") << t.name;
    }
}

TEST(Messages, DashIsStandardInputAndDotSlashDashAFile) {
    for (const auto& t : tools) {
        temp_dir dir;
        write_text(dir.file("in"), t.input);
        write_text(dir.file("-"), t.input);
        tool_run named = run_on(t, dir.file("in"), dir.file("named"));
        tool_run piped = run_on(t, "-", dir.file("piped"), "cat " + shell_quoted(dir.file("in")) + " | ");
        tool_run dash_file = run_on(t, "./-", dir.file("dash"), "cd " + shell_quoted(dir.path.string()) + " && ");
        EXPECT_EQ(named.status, 0) << t.name;
        for (const tool_run* r : {&piped, &dash_file}) {
            EXPECT_EQ(r->output, named.output) << t.name;
            EXPECT_EQ(r->errors, "") << t.name;
        }
        EXPECT_EQ(read_text(dir.file("piped")), read_text(dir.file("named"))) << t.name;
        EXPECT_EQ(read_text(dir.file("dash")), read_text(dir.file("named"))) << t.name;
    }
}

// A pseudo-terminal for standard error; what the tool wrote there is read
// back from its other side.
struct pseudo_terminal {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    pseudo_terminal() {
        grantpt(master);
        unlockpt(master);
        fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~pseudo_terminal() { close(master); }
    std::string path() const { return ptsname(master); }
    std::string written() const {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
        return text;
    }
};

TEST(Messages, ProgressLineOnATerminalOnly) {
    temp_dir dir;
    pseudo_terminal terminal;
    ASSERT_GE(terminal.master, 0);
    // An input that takes more than a second to come.
    std::string slow = "{ printf 'S 1\\nT 1\\n'; sleep 1.3; printf '0 0 1\\n'; } | ";
    tool_run shown = run_on(tools[0], "-", dir.file("out"), slow, " 2>" + terminal.path());
    EXPECT_EQ(shown.output, "done: 1\n");
    std::string line = terminal.written();
    EXPECT_EQ(line.rfind("\ronebase: ", 0), 0u) << line;
    EXPECT_NE(line.find("B/s"), std::string::npos) << line;
    // Cleared at the end: blanks over it, and back to the line's start.
    EXPECT_EQ(line.substr(line.size() - 2), " \r") << line;
    tool_run logged = run_on(tools[0], "-", dir.file("out"), slow);
    EXPECT_EQ(logged.errors, "");
    // diagfill's "here" comes when both files are open, before the reading
    // and so before its progress line.
    std::string both = " >" + terminal.path() + " 2>&1";
    tool_run here = run_on(tools[1], "-", dir.file("out"), slow, both);
    EXPECT_EQ(here.status, 0);
    std::string screen = terminal.written();
    EXPECT_EQ(screen.rfind("here\r\n\rdiagfill: ", 0), 0u) << screen;
}

// An outfile that names the tool's own standard output (/dev/stdout, a
// file or pipe it was sent to) is "-": the tool's lines go to standard
// error, never into the data.
TEST(Messages, AnOutfileThatIsStandardOutputKeepsTheLinesOut) {
    for (const auto& t : tools) {
        temp_dir dir;
        write_text(dir.file("in"), t.input);
        tool_run named = run_on(t, dir.file("in"), dir.file("named"));
        std::string want = read_text(dir.file("named"));
        tool_run piped = run_on(t, dir.file("in"), "/dev/stdout", "", " | cat");
        EXPECT_EQ(piped.output, want) << t.name;
        EXPECT_EQ(piped.errors, named.output) << t.name;
        tool_run to_file = run_on(t, dir.file("in"), "/dev/stdout", "", " >" + shell_quoted(dir.file("out")));
        EXPECT_EQ(read_text(dir.file("out")), want) << t.name;
        EXPECT_EQ(to_file.errors, named.output) << t.name;
    }
}

// Control bytes of a header (a terminal's escapes, its bell) are shown as
// entry text is, never sent to the terminal.
TEST(Messages, HeaderTextInMessagesShowsNoControlBytes) {
    temp_dir dir;
    write_text(dir.file("in"), "STATES\x1b[2J\n\x07TRANSITIONS\x1b]0;x\x07 9\n1 1 1\n");
    tool_run check = run_tool("diagfill", {"--check", dir.file("in")});
    EXPECT_EQ(check.output.find('\x1b'), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find('\x07'), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("header line STATES?[2J without its number"), std::string::npos) << check.output;
    tool_run strict = run_tool("onebase", {"--strict", dir.file("in"), dir.file("out")});
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.errors, "onebase: " + dir.file("in") + ":1: header line STATES?[2J without its number\n");
    write_text(dir.file("in"), "S 1\nT\x1b[2J 9\n0 0 1\n");
    tool_run short_file = run_tool("onebase", {"--check", dir.file("in")});
    EXPECT_NE(short_file.output.find("T?[2J says 9, the file has 1 entry"), std::string::npos) << short_file.output;
}

// A default run that meets problems its reading sees converts as before
// and ends with one warning on standard error: how many, the first with
// its line (where the input can be read again), and the check to run;
// --quiet leaves it out.
TEST(Messages, DamagedInputEndsWithOneWarning) {
    struct damage_case {
        std::string tool, arguments, input, warning;  // IN stands for the input's name
    } const cases[] = {
        {"diagfill", "", "STATES 3\nTRANSITIONS 4\n1 2 0.5\n\n2 1 1 # x\n1 3 1\n",
         "diagfill: warning: IN: 3 problems, the first at line 4: blank line: it repeats the entry before it "
         "(diagfill --check IN lists them)\n"},
        {"diagfill", "", "STATES 2\nTRANSITIONS 2\n0 1 0.5\n1 0 1\n",
         "diagfill: warning: IN: 1 problem at line 3: row 0 is outside 1..2: the file looks 0-based; run onebase on "
         "it first (diagfill --check IN lists it)\n"},
        {"onebase", "", "S 2\nT 2\n0 1 0.5\n1\n",
         "onebase: warning: IN: 1 problem at line 4: the line gives no col and value: the col and value of the line "
         "before are used (onebase --check IN lists it)\n"},
        {"minmark", "2 2", "0:(2,0,0,0,0,0,0,0,1,0,0)\n5:(1,1,1,1,1,1,1,1,1,1,1)\n1:(1,2)\n",
         "minmark: warning: IN: 2 problems, the first at line 2: state 5 is outside 0..1 (minmark --check IN lists "
         "them)\n"},
    };
    auto named = [](std::string text, const std::string& name) {
        for (std::size_t at; (at = text.find("IN")) != std::string::npos;) text.replace(at, 2, name);
        return text;
    };
    for (const auto& c : cases) {
        temp_dir dir;
        write_text(dir.file("in"), c.input);
        std::string tool = shell_quoted(tool_path(c.tool)) + " ";
        tool_run quiet = run_shell(tool + "--quiet " + c.arguments + " " + shell_quoted(dir.file("in")) + " " +
                                   shell_quoted(dir.file("quiet")));
        EXPECT_EQ(quiet.status, 0) << c.tool;
        EXPECT_EQ(quiet.errors, "") << c.tool;
        tool_run warned = run_shell(tool + c.arguments + " " + shell_quoted(dir.file("in")) + " " +
                                    shell_quoted(dir.file("out")));
        EXPECT_EQ(warned.status, 0) << c.tool;
        EXPECT_EQ(warned.output, quiet.output) << c.tool;
        EXPECT_EQ(warned.errors, named(c.warning, dir.file("in"))) << c.tool;
        EXPECT_EQ(read_text(dir.file("out")), read_text(dir.file("quiet"))) << c.tool;
        // From a pipe the line cannot be told, nor the file named.
        std::string piped_warning = named(c.warning, "standard input");
        std::size_t at = piped_warning.find(" at line ");
        piped_warning.erase(at, piped_warning.find(':', at) - at);
        const std::string named_check = " standard input lists";
        piped_warning.replace(piped_warning.find(named_check), named_check.size(), " lists");
        tool_run piped = run_shell("cat " + shell_quoted(dir.file("in")) + " | " + tool + c.arguments + " - " +
                                   shell_quoted(dir.file("piped")));
        EXPECT_EQ(piped.errors, piped_warning) << c.tool;
        // A compressed file is read again for the line.
        run_shell("gzip -c " + shell_quoted(dir.file("in")) + " >" + shell_quoted(dir.file("in.gz")));
        tool_run packed = run_shell(tool + c.arguments + " " + shell_quoted(dir.file("in.gz")) + " " +
                                    shell_quoted(dir.file("packed")));
        EXPECT_EQ(packed.errors, named(c.warning, dir.file("in.gz"))) << c.tool;
    }
}

}  // namespace
