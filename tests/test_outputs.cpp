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
        tool_run r = run_shell(writer + command(t, fifo, dir.file("out")) + " & pid=$!; sleep 0.5; cat " +
                               shell_quoted(dir.file("out")) + "; kill -TERM $pid; wait $pid; echo status $?");
        EXPECT_EQ(r.output, (t.name == std::string("diagfill") ? "here\n" : "") + std::string("keep\nstatus 143\n"))
            << t.name;
        EXPECT_EQ(read_text(dir.file("out")), "keep\n") << t.name;
        EXPECT_EQ(leftovers(dir, {"fifo", "out"}), std::vector<std::string>{}) << t.name;
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

}  // namespace
