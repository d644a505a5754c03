// Runs the built tools on files in a fresh temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct tool_run {
    int status = -1;     // the exit status, or -1 when the tool did not exit
    std::string output;  // what it printed on standard output
    std::string errors;  // and on standard error
};

// A fresh folder, removed with everything in it at the end of the test.
struct temp_dir {
    fs::path path;
    temp_dir();
    ~temp_dir();
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::string tool_path(const std::string& name);
// Runs a shell command line; its standard output and error are captured.
tool_run run_shell(const std::string& command);
// Runs a tool with the given arguments, each quoted for the shell.
tool_run run_tool(const std::string& name, const std::vector<std::string>& args);

// Runs a converter on input written to a file, --quiet (inputs with
// problems are converted as they are, without the warning); expects it to
// succeed with the given messages and nothing on standard error, and
// returns what it wrote.
std::string convert_text(const std::string& tool, const std::string& input, const std::string& messages);

void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);
std::string shell_quoted(const std::string& s);

// Where two long texts first differ, with a little of each from there: a
// full diff of megabytes would swamp the report. Empty where they agree.
std::string first_difference(const std::string& got, const std::string& want);
