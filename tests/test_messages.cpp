// What the tools say besides their done lines: one reason on standard error
// for each kind of failure, --help and --version, "-" as standard input,
// and the progress line, on a terminal only.
#include <fcntl.h>
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
            {"missing spool folder", "-", dir.file("out"), "cat " + shell_quoted(dir.file("in")) + " | TMPDIR=/nonexistent ",
             "", "/nonexistent: No such file or directory", t.name == "diagfill"},
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
        // Among more arguments, --help is a file name like any other.
        tool_run named = run_on(t, "--help", dir.file("out"), "cd " + shell_quoted(dir.path.string()) + " && ");
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
}

}  // namespace
