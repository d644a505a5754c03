// What the operating system does for the tools: files opened by path as
// descriptors, read, written, rewound and told apart. One source file a
// platform family implements it; nothing else includes a platform header.
// A call that fails leaves the system's error number in errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Opens a path for reading; a directory does not open. -1 on failure.
int open_input_file(const char* path);
// Opens a path for writing, created if it does not exist, and emptied when
// truncate is set. -1 on failure.
int open_output_file(const char* path, bool truncate);
// Outputs written whole: a run that fails or is killed leaves the old file
// as it was. The output is the file path names, or the one its symbolic
// link leads to. A regular file (or a new one) is replaced by a rename of
// a new file of its folder, with its permissions (set-id bits dropped) and
// its owner and group; where a rename cannot keep the file (several links,
// a sticky folder, an owner that cannot be given, no room for a new name)
// the run goes to a file of no name and is copied into the output once it
// has succeeded. Anything else (a FIFO, a device) is written as the run
// goes. The run's file has no name where the system allows it (Linux);
// elsewhere its name is removed by any signal that can be caught.
enum class output_way { none, rename, copy, in_place };
struct whole_file {
    output_way way = output_way::none;
    std::string path;       // the file that becomes the output
    std::string temporary;  // a name the run's file has, removed unless renamed
    bool unnamed = false;   // the run's file has no name yet
    int target = -1;        // for a copy: the output, open for writing
};
// The descriptor the run writes to, or -1 (errno set) where the output
// cannot be written.
int open_whole_file(const char* path, whole_file& w);
// The run has succeeded: fd is closed and its bytes become the output's;
// false (errno set) where that failed.
bool commit_whole_file(whole_file& w, int fd);
// The run has failed: fd (where not -1) is closed, and its file removed.
void discard_whole_file(whole_file& w, int fd);

// An anonymous file for a copy of the input, gone once closed, in the
// folder for temporary files; -1 on failure. That folder is $TMPDIR when it
// is set, else /tmp; on Windows the system's.
int open_spool_file();
std::string temporary_folder();

// Reads up to n bytes: the count read, 0 at the end, -1 on an error.
std::ptrdiff_t read_some(int fd, char* data, std::size_t n);
bool write_all(int fd, const char* data, std::size_t n);
// Where reading stands in a file (-1 where it cannot be told, as in a
// pipe), and back to such a place, for reading it again.
std::int64_t file_position(int fd);
bool seek_file(int fd, std::int64_t position);
bool close_file(int fd);

// Whether the file reads the same each time (a regular file, not a pipe or
// a terminal).
bool is_regular_file(int fd);
// Its size in bytes, for a regular file; -1 when unknown.
std::int64_t file_size(int fd);
bool is_terminal(int fd);

// Identity of a file, to tell when two names lead to the same file.
struct file_id {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
    bool character_device = false;  // a terminal, /dev/null and the like
};
file_id identify_file(int fd);
file_id identify_path(const char* path);
inline bool same_file(file_id a, file_id b) {
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

constexpr int standard_input = 0;
constexpr int standard_output = 1;
constexpr int standard_error = 2;

// Which standard streams were open when the run began.
struct standard_streams {
    bool input = true;
    bool output = true;
    bool error = true;
};
// Opens a stand-in onto any of the standard streams that is closed, so that
// a file opened later cannot take its place and receive the messages (or
// be read as standard input). Standard input's stand-in is opened for
// writing only, so that reading it fails as reading a closed one does.
standard_streams keep_standard_streams_open();
// Standard input as the input of a run (0), or -1 when it cannot serve as
// one, refused as a named input would be: a directory (EISDIR), or a
// descriptor that cannot be read (EBADF).
int open_standard_input();
// A thread with a small stack (the default one takes megabytes of address
// space, which counts against a memory limit), for a helper that only
// decompresses. start_thread gives false (errno set) where none can start.
struct thread_handle {
    std::uintptr_t id = 0;
    bool started = false;
};
bool start_thread(thread_handle& t, void (*run)(void*), void* argument);
// Waits for the thread to end.
void join_thread(thread_handle& t);
// Lets the thread run on alone: it ends by itself, or with the process.
void detach_thread(thread_handle& t);

// A write to a pipe without a reader, or past a file-size limit, fails with
// EPIPE or EFBIG instead of ending the process by a signal, so that the run
// can finish its output and say what went wrong.
void ignore_write_signals();
