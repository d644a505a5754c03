// Outputs written whole: a run that fails or is killed leaves the old file
// and no temporary one; what a rename cannot replace is written in place;
// "-" is standard output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool_harness.h"

namespace {

struct tool_case {
    std::string name;
    std::string arguments;  // before the file names
    std::string input;
    std::string expected;  // what the input converts to
};

const tool_case tools[] = {
    {"onebase", "", "S 2\nT 2\n0 1 0.5\n1 0 2\n", "S 2\nT 2\n1 2 0.500000\n2 1 2.000000\n"},
    {"diagfill", "", "S 2\nT 2\n1 2 0.5\n2 1 2\n", "S 2\nT 2\n1 1 -0.500000\n1 2 0.500000\n2 1 2.000000\n"},
    {"minmark", "2 2", "0:(2,0,0,0,0,0,0,0,1,0,0)\n", "#DECLARATION\nminimum\n#END\n1  minimum\n"},
};

std::string command(const tool_case& t, const std::string& in, const std::string& out) {
    return shell_quoted(tool_path(t.name)) + " " + t.arguments + " " + shell_quoted(in) + " " + shell_quoted(out);
}

// The names in a folder, other than the ones a test made.
std::vector<std::string> leftovers(const temp_dir& dir, const std::vector<std::string>& made) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path)) {
        std::string name = entry.path().filename().string();
        if (std::find(made.begin(), made.end(), name) == made.end()) names.push_back(name);
    }
    return names;
}

TEST(WholeOutput, ARunStoppedKilledOrFailedLeavesTheOldFileAndNoTemporaryOne) {
    for (const auto& t : tools) {
        temp_dir dir;
        std::string fifo = dir.file("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        write_text(dir.file("out"), "keep\n");
        // The input comes in part and then stops, until the run is killed.
        std::string writer = "exec 3<>" + shell_quoted(fifo) + "; printf %s " + shell_quoted(t.input.substr(0, 5)) +
                             " >&3; ";
        // Every signal that ends a process: a batch job's limits, a user's.
        struct {
            const char* name;
            int status;
        } const signals[] = {{"TERM", 143}, {"INT", 130}, {"HUP", 129}, {"XCPU", 152}, {"QUIT", 131}, {"USR1", 138},
                             {"USR2", 140}, {"ALRM", 142}, {"KILL", 137}};
        for (const auto& sig : signals) {
            // A shell starts background jobs with SIGINT and SIGQUIT ignored.
            tool_run r = run_shell(writer + "env --default-signal " + command(t, fifo, dir.file("out")) +
                                   " & pid=$!; sleep 0.3; cat " +
                                   shell_quoted(dir.file("out")) + "; kill -" + sig.name +
                                   " $pid; wait $pid; echo status $?");
            EXPECT_EQ(r.output, (t.name == std::string("diagfill") ? "here\n" : "") + std::string("keep\nstatus ") +
                                    std::to_string(sig.status) + "\n")
                << t.name << " " << sig.name;
            EXPECT_EQ(read_text(dir.file("out")), "keep\n") << t.name;
            EXPECT_EQ(leftovers(dir, {"fifo", "out"}), std::vector<std::string>{}) << t.name << " " << sig.name;
        }
    }
    // A run that fails once its output is open: diagfill without room for
    // the spool of a stretch too long to keep in memory.
    temp_dir dir;
    write_text(dir.file("out"), "keep\n");
    tool_run failed = run_shell("{ printf 'S 9\\nT 9\\n9 9 1\\n'; yes '1 2 0.5' | head -n 300000; } | TMPDIR=/nonexistent " +
                                command(tools[1], "-", dir.file("out")));
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(read_text(dir.file("out")), "keep\n");
    EXPECT_EQ(leftovers(dir, {"out"}), std::vector<std::string>{});
}

TEST(WholeOutput, ModeOfTheReplacedFileOrOfANewOne) {
    for (const auto& t : tools) {
        temp_dir dir;
        write_text(dir.file("in"), t.input);
        write_text(dir.file("old"), "keep\n");
        fs::permissions(dir.file("old"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        tool_run r = run_shell("umask 022; " + command(t, dir.file("in"), dir.file("old")) + " && " +
                               command(t, dir.file("in"), dir.file("new")));
        EXPECT_EQ(r.status, 0) << t.name;
        EXPECT_EQ(read_text(dir.file("old")), t.expected) << t.name;
        EXPECT_EQ(fs::status(dir.file("old")).permissions(), fs::perms(0640)) << t.name;
        EXPECT_EQ(fs::status(dir.file("new")).permissions(), fs::perms(0644)) << t.name;
    }
}

TEST(WholeOutput, WhatARenameCannotReplaceIsWrittenInPlace) {
    for (const auto& t : tools) {
        temp_dir dir;
        write_text(dir.file("in"), t.input);
        std::string fifo = dir.file("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        tool_run through_fifo =
            run_shell("cat " + shell_quoted(fifo) + " & " + command(t, dir.file("in"), fifo) + " >/dev/null; wait");
        EXPECT_EQ(through_fifo.output, t.expected) << t.name;
        EXPECT_EQ(run_shell(command(t, dir.file("in"), "/dev/null")).status, 0) << t.name;
        // A symbolic link stays one; its target gets the output.
        write_text(dir.file("target"), "keep\n");
        fs::create_symlink(dir.file("target"), dir.file("symlink"));
        // Both names of a file of two links get the output.
        write_text(dir.file("one"), "keep\n");
        fs::create_hard_link(dir.file("one"), dir.file("two"));
        EXPECT_EQ(run_shell(command(t, dir.file("in"), dir.file("symlink"))).status, 0) << t.name;
        EXPECT_EQ(run_shell(command(t, dir.file("in"), dir.file("two"))).status, 0) << t.name;
        EXPECT_TRUE(fs::is_symlink(dir.file("symlink"))) << t.name;
        EXPECT_EQ(read_text(dir.file("target")), t.expected) << t.name;
        EXPECT_EQ(read_text(dir.file("one")), t.expected) << t.name;
        // A file in a folder that takes no new file, as a user who may write
        // the file but not the folder (root is made such a user first).
        fs::create_directory(dir.file("ro"));
        write_text(dir.file("ro/out"), "keep\n");
        fs::permissions(dir.file("ro/out"), fs::perms(0666));
        fs::permissions(dir.path, fs::perms(0755));
        fs::permissions(dir.file("in"), fs::perms(0644));
        fs::permissions(dir.file("ro"), fs::perms(0555));
        std::string as_user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        tool_run read_only = run_shell("cd / && " + as_user + command(t, dir.file("in"), dir.file("ro/out")));
        EXPECT_EQ(read_only.status, 0) << t.name << read_only.errors;
        EXPECT_EQ(read_text(dir.file("ro/out")), t.expected) << t.name;
        fs::permissions(dir.file("ro"), fs::perms(0777));
        // A file kept read-only in a folder that takes new files is not
        // replaced behind its back.
        write_text(dir.file("ro/kept"), "keep\n");
        fs::permissions(dir.file("ro/kept"), fs::perms(0444));
        tool_run kept = run_shell("cd / && " + as_user + command(t, dir.file("in"), dir.file("ro/kept")));
        EXPECT_EQ(kept.status, 1) << t.name;
        EXPECT_NE(kept.errors.find("Permission denied"), std::string::npos) << t.name << kept.errors;
        EXPECT_EQ(read_text(dir.file("ro/kept")), "keep\n") << t.name;
        fs::permissions(dir.file("ro"), fs::perms(0755));
    }
}

TEST(WholeOutput, DashIsStandardOutputAndTheMessagesGoToStandardError) {
    temp_dir dir;
    write_text(dir.file("in"), "S 2\nT 2\n0 1 0.5\n1 0 2\n");
    tool_run piped = run_shell(command(tools[0], dir.file("in"), "-") + " | " + command(tools[1], "-", dir.file("out")));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.output, "here\ndone: 1\n");
    EXPECT_EQ(piped.errors, "done: 1\n");
    EXPECT_EQ(read_text(dir.file("out")), tools[1].expected);
    write_text(dir.file("in.lst"), tools[2].input);
    tool_run labels = run_shell(command(tools[2], dir.file("in.lst"), "-"));
    EXPECT_EQ(labels.output, tools[2].expected);
    EXPECT_EQ(labels.errors, "done: 2\n");
    // A file named "-" is given as "./-"; a closed standard output fails.
    tool_run named = run_shell("cd " + shell_quoted(dir.path.string()) + " && " + command(tools[0], "in", "./-"));
    EXPECT_EQ(named.output, "done: 1\n");
    EXPECT_EQ(read_text(dir.file("-")), tools[0].expected);
    tool_run closed = run_shell(command(tools[0], dir.file("in"), "-") + " >&-");
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.errors, "done: 0\nonebase: standard output: Bad file descriptor\n");
}

// diagfill opens its output before it reads: a missing folder fails the
// run at once, on an input that never ends.
TEST(WholeOutput, DiagfillFailsBeforeReadingWhenItCannotWrite) {
    temp_dir dir;
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    tool_run r = run_shell("exec 3<>" + shell_quoted(fifo) + "; timeout 5 " +
                           command(tools[1], fifo, dir.file("missing/out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "here\ndone: 0\n");
    EXPECT_EQ(r.errors, "diagfill: " + dir.file("missing/out") + ": No such file or directory\n");
}

// Outputs a rename cannot replace and keep: a failed run (a --strict stop,
// a damaged compressed input) leaves each as it was, links and all, and a
// run that succeeds writes each.
TEST(WholeOutput, AFailedRunKeepsOutputsThatARenameCannotReplace) {
    temp_dir dir;
    fs::permissions(dir.path, fs::perms(0755));
    const tool_case& t = tools[0];
    write_text(dir.file("sound"), t.input);
    write_text(dir.file("damaged"), "S 2\nT 2\n0 1 0.5\n\n");
    run_shell("gzip -c " + shell_quoted(dir.file("sound")) + " | head -c 30 >" + shell_quoted(dir.file("cut.gz")));
    for (const char* in : {"sound", "damaged", "cut.gz"}) fs::permissions(dir.file(in), fs::perms(0644));
    bool root = geteuid() == 0;
    std::string as_user = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    // Folders: one that takes no new file, a sticky one, one whose path
    // leaves no room for a temporary's name.
    fs::create_directory(dir.file("ro"));
    fs::create_directory(dir.file("sticky"));
    fs::permissions(dir.file("sticky"), fs::perms(01777));
    std::string deep = dir.path.string();
    while (deep.size() < 4000) deep += "/" + std::string(200, 'd');
    fs::create_directories(deep);
    struct place {
        const char* name;
        std::string written, kept;  // the name the run is given, the file that must keep its bytes
        bool as_user;
    } const places[] = {
        {"symbolic link", dir.file("link"), dir.file("target"), false},
        {"second link", dir.file("two"), dir.file("one"), false},
        {"folder without room", dir.file("ro/out"), dir.file("ro/out"), true},
        {"sticky folder", dir.file("sticky/out"), dir.file("sticky/out"), root},
        {"long path", deep + "/o", deep + "/o", false},
    };
    for (const auto& p : places) {
        if (std::string(p.name) == "sticky folder" && !root) continue;  // needs a file of another user
        fs::remove(p.kept);
        write_text(p.kept, "keep\n");
        fs::permissions(p.kept, fs::perms(0666));
        if (std::string(p.name) == "symbolic link") fs::create_symlink(p.kept, p.written);
        if (std::string(p.name) == "second link") fs::create_hard_link(p.kept, p.written);
        fs::permissions(dir.file("ro"), fs::perms(0555));
        std::string user = p.as_user ? as_user : "";
        for (const char* in : {"damaged", "cut.gz"}) {
            tool_run r = run_shell("cd / && " + user + shell_quoted(tool_path(t.name)) + " --strict " +
                                   shell_quoted(dir.file(in)) + " " + shell_quoted(p.written));
            EXPECT_EQ(r.status, 1) << p.name << " " << in;
            EXPECT_EQ(read_text(p.kept), "keep\n") << p.name << " " << in;
        }
        tool_run r = run_shell("cd / && " + user + command(t, dir.file("sound"), p.written));
        EXPECT_EQ(r.status, 0) << p.name << r.errors;
        EXPECT_EQ(read_text(p.kept), t.expected) << p.name;
        EXPECT_EQ(read_text(p.written), t.expected) << p.name;
        fs::permissions(dir.file("ro"), fs::perms(0755));
        if (std::string(p.name) == "symbolic link") {
            EXPECT_TRUE(fs::is_symlink(p.written));
        }
        if (std::string(p.name) == "second link") {
            EXPECT_EQ(fs::hard_link_count(p.kept), 2u);
        }
    }
    EXPECT_EQ(leftovers(dir, {"sound", "damaged", "cut.gz", "ro", "sticky", "link", "target", "one", "two",
                              std::string(200, 'd')}),
              std::vector<std::string>{});
}

// A file replaced by root keeps its owner and group, and no run makes a
// set-id file of one.
TEST(WholeOutput, TheReplacedFileKeepsItsOwnerAndNoSetIdBits) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
    temp_dir dir;
    const tool_case& t = tools[0];
    write_text(dir.file("in"), t.input);
    for (unsigned mode : {0600u, 06777u}) {
        write_text(dir.file("out"), "keep\n");
        ASSERT_EQ(chown(dir.file("out").c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod(dir.file("out").c_str(), mode), 0);
        ASSERT_EQ(run_shell(command(t, dir.file("in"), dir.file("out"))).status, 0);
        struct stat st;
        ASSERT_EQ(stat(dir.file("out").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u) << std::oct << mode;
        EXPECT_EQ(st.st_gid, 65534u) << std::oct << mode;
        EXPECT_EQ(st.st_mode & 07777, mode & 0777) << std::oct << mode;
        EXPECT_EQ(read_text(dir.file("out")), t.expected);
    }
}

}  // namespace
