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
// Outputs written whole: a new file in the folder of path, to be renamed
// over it once written, so that a run that fails or is killed leaves the
// old file as it was. -1 (errno set) when the folder takes no new file.
// It gets the permissions of the file at path, or those a new file would
// get, and its name is put in temporary. Until it is renamed or removed,
// SIGINT, SIGTERM and SIGHUP remove it before they end the process.
int create_temporary_beside(const char* path, std::string& temporary);
// Whether a rename can replace what path names: nothing, or a regular file
// of one link that is not a symbolic link (renaming over a link would
// replace the link, and over one of several links, cut the file from the
// others) and that may be written (a rename would replace a file kept
// read-only; opened in place, it fails as it should).
bool replaceable_by_rename(const char* path);
// The temporary takes the place of path; false (errno set) on failure.
bool rename_over(const char* temporary, const char* path);
// Removes a temporary file that is not wanted.
void remove_temporary(const char* temporary);

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
