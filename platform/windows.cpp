// The operating system's part on Windows: the C runtime's descriptors, all
// in binary mode, so that files and standard output carry "\n" line ends
// byte for byte as on other systems.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform.h"

static HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A directory does not open as a file here; NUL and other devices open
// and read as empty, as /dev/null does elsewhere.
int open_input_file(const char* path) {
    int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    DWORD attributes = fd < 0 ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EISDIR;
    return fd;
}

int open_output_file(const char* path, bool truncate) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | (truncate ? _O_TRUNC : 0),
                 _S_IREAD | _S_IWRITE);
}

// The one piece of process-wide state: a signal handler is handed nothing
// but the signal, so the name of the temporary output to remove is kept
// where it can see it.
static char pending_removal[MAX_PATH + 1];
static volatile std::sig_atomic_t removal_pending = 0;

static void remove_pending_and_end(int signal_number) {
    if (removal_pending) _unlink(pending_removal);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

static std::string folder_of(const char* path) {
    const char* end = path + std::strlen(path);
    while (end != path && end[-1] != '/' && end[-1] != '\\' && end[-1] != ':') --end;
    if (end == path) return ".";
    return std::string(path, end);
}

static int create_temporary_beside(const char* path, std::string& temporary) {
    std::string folder = folder_of(path);
    if (folder.back() != '/' && folder.back() != '\\' && folder.back() != ':') folder += '\\';
    temporary = folder + "statetools-XXXXXX";
    if (_mktemp_s(temporary.data(), temporary.size() + 1) != 0) return -1;
    int fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        temporary.clear();
        return -1;
    }
    if (temporary.size() >= sizeof pending_removal) return fd;
    std::memcpy(pending_removal, temporary.c_str(), temporary.size() + 1);
    removal_pending = 1;
    signal(SIGINT, remove_pending_and_end);
    signal(SIGTERM, remove_pending_and_end);
    signal(SIGABRT, remove_pending_and_end);
    return fd;
}

// A file a rename can replace: nothing yet, or a plain file of one link
// that may be written.
static bool replaceable_by_rename(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) != 0)
        return false;
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool one_link = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                    info.nNumberOfLinks == 1;
    CloseHandle(h);
    return one_link;
}

// Windows has no files without a name: a file a rename can replace is
// written beside it, anything else in place.
int open_whole_file(const char* path, whole_file& w) {
    w = whole_file{};
    w.path = path;
    if (replaceable_by_rename(path)) {
        int fd = create_temporary_beside(path, w.temporary);
        if (fd >= 0) {
            w.way = output_way::rename;
            return fd;
        }
    }
    w.way = output_way::in_place;
    return open_output_file(path, true);
}

bool commit_whole_file(whole_file& w, int fd) {
    bool done = _close(fd) == 0;
    if (done && w.way == output_way::rename) {
        done = MoveFileExA(w.temporary.c_str(), w.path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
        if (done) {
            removal_pending = 0;
            w.temporary.clear();
        } else {
            errno = EACCES;
        }
    }
    discard_whole_file(w, -1);
    return done;
}

void discard_whole_file(whole_file& w, int fd) {
    int error = errno;
    if (fd >= 0) _close(fd);
    if (!w.temporary.empty()) {
        _unlink(w.temporary.c_str());
        removal_pending = 0;
        w.temporary.clear();
    }
    errno = error;
}

std::string temporary_folder() {
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    return n > 0 && n <= MAX_PATH ? std::string(folder, n) : std::string(".");
}

// Deleted by the system when closed.
int open_spool_file() {
    char path[MAX_PATH + 1];
    if (GetTempFileNameA(temporary_folder().c_str(), "sto", 0, path) == 0) {
        errno = EACCES;
        return -1;
    }
    return _open(path, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
}

// The runtime reads and writes at most INT_MAX bytes in one call.
constexpr std::size_t max_transfer = 1u << 30;

std::ptrdiff_t read_some(int fd, char* data, std::size_t n) {
    return _read(fd, data, static_cast<unsigned>(n < max_transfer ? n : max_transfer));
}

bool write_all(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        int written = _write(fd, data, static_cast<unsigned>(n < max_transfer ? n : max_transfer));
        if (written <= 0) return false;
        data += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

std::int64_t file_position(int fd) { return is_regular_file(fd) ? _lseeki64(fd, 0, SEEK_CUR) : -1; }

bool seek_file(int fd, std::int64_t position) { return _lseeki64(fd, position, SEEK_SET) == position; }

bool close_file(int fd) { return _close(fd) == 0; }

bool is_regular_file(int fd) {
    HANDLE h = handle_of(fd);
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::int64_t file_size(int fd) {
    HANDLE h = handle_of(fd);
    LARGE_INTEGER size;
    return is_regular_file(fd) && GetFileSizeEx(h, &size) ? size.QuadPart : -1;
}

bool is_terminal(int fd) { return _isatty(fd) != 0; }

// The volume's serial number and the file's index tell files apart, as the
// device and inode numbers do elsewhere.
static file_id identity(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info))
        return {};
    return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, true};
}

file_id identify_file(int fd) { return identity(handle_of(fd)); }

file_id identify_path(const char* path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    file_id id = identity(h);
    CloseHandle(h);
    return id;
}

standard_streams keep_standard_streams_open() {
    standard_streams open_before;
    bool* was_open[] = {&open_before.input, &open_before.output, &open_before.error};
    for (int fd = 0; fd <= 2; ++fd) {
        // A process started without a stream has no handle behind its number.
        if (_get_osfhandle(fd) >= 0) continue;
        *was_open[fd] = false;
        int nul = _open("NUL", _O_WRONLY);
        if (nul >= 0 && nul != fd) {
            _dup2(nul, fd);
            _close(nul);
        }
    }
    _setmode(standard_input, _O_BINARY);
    _setmode(standard_output, _O_BINARY);
    return open_before;
}

// A directory cannot be standard input here; a closed one has no handle.
int open_standard_input() {
    if (_get_osfhandle(standard_input) >= 0) return standard_input;
    errno = EBADF;
    return -1;
}

// Writes end by no signal here.
void ignore_write_signals() {}

constexpr std::size_t helper_stack_size = 1024 * 1024;

namespace {
struct thread_start {
    void (*run)(void*);
    void* argument;
};
}  // namespace

static DWORD WINAPI run_thread(LPVOID start) {
    thread_start s = *static_cast<thread_start*>(start);
    delete static_cast<thread_start*>(start);
    s.run(s.argument);
    return 0;
}

bool start_thread(thread_handle& t, void (*run)(void*), void* argument) {
    auto* start = new (std::nothrow) thread_start{run, argument};
    HANDLE h = start == nullptr ? nullptr
                                : CreateThread(nullptr, helper_stack_size, run_thread, start,
                                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (h == nullptr) {
        delete start;
        errno = EAGAIN;
        return false;
    }
    t.id = reinterpret_cast<std::uintptr_t>(h);
    t.started = true;
    return true;
}

void join_thread(thread_handle& t) {
    if (!t.started) return;
    HANDLE h = reinterpret_cast<HANDLE>(t.id);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    t.started = false;
}

void detach_thread(thread_handle& t) {
    if (!t.started) return;
    CloseHandle(reinterpret_cast<HANDLE>(t.id));
    t.started = false;
}
