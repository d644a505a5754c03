#include "tool_harness.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

temp_dir::temp_dir() {
    std::random_device rd;
    for (;;) {
        path = fs::temp_directory_path() / ("statetools-" + std::to_string(rd()));
        if (fs::create_directory(path)) break;
    }
}

temp_dir::~temp_dir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, ec);
    fs::remove_all(path, ec);
}

std::string tool_path(const std::string& name) { return std::string(TOOL_DIR) + "/" + name; }

std::string shell_quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

tool_run run_shell(const std::string& command) {
    tool_run r;
    temp_dir dir;
    std::string errors = dir.file("errors");
    std::FILE* p = popen(("{ " + command + "\n} 2>" + shell_quoted(errors)).c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int status = pclose(p);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.errors = read_text(errors);
    return r;
}

tool_run run_tool(const std::string& name, const std::vector<std::string>& args) {
    std::string command = shell_quoted(tool_path(name));
    for (const auto& a : args) command += " " + shell_quoted(a);
    return run_shell(command);
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string convert_text(const std::string& tool, const std::string& input, const std::string& messages) {
    temp_dir dir;
    write_text(dir.file("in"), input);
    tool_run r = run_tool(tool, {"--quiet", dir.file("in"), dir.file("out")});
    EXPECT_EQ(r.output, messages);
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.status, 0);
    return read_text(dir.file("out"));
}

std::string first_difference(const std::string& got, const std::string& want) {
    if (got == want) return "";
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    std::size_t from = got.rfind('\n', at) == std::string::npos ? 0 : got.rfind('\n', at) + 1;
    return "at byte " + std::to_string(at) + ": got \"" + got.substr(from, 60) + "\", want \"" +
           want.substr(from, 60) + "\"";
}
