// The operating system's part on Linux, macOS and the BSDs.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"

static int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = open(path, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A directory opens for reading but its first read fails: refused here, so
// that the run fails before it touches the output.
int open_input_file(const char* path) {
    int fd = open_retrying(path, O_RDONLY);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

int open_output_file(const char* path, bool truncate) {
    return open_retrying(path, O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0));
}

// The one piece of process-wide state: a signal handler is handed nothing
// but the signal, so the name of the temporary output to remove is kept
// where it can see it.
static char pending_removal[4096];
static volatile std::sig_atomic_t removal_pending = 0;

static void remove_pending_and_end(int signal_number) {
    if (removal_pending) unlink(pending_removal);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// A signal the run was started to ignore (as background jobs ignore
// SIGINT) stays ignored.
static void remove_on_signal(const std::string& path) {
    if (path.size() >= sizeof pending_removal) return;
    std::memcpy(pending_removal, path.c_str(), path.size() + 1);
    removal_pending = 1;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_end;
        action.sa_flags = SA_RESTART;
        sigaction(signal_number, &action, nullptr);
    }
}

static std::string folder_of(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return ".";
    return slash == path ? "/" : std::string(path, slash);
}

static mode_t new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int create_temporary_beside(const char* path, std::string& temporary) {
    struct stat st;
    mode_t mode = stat(path, &st) == 0 ? st.st_mode & 07777 : new_file_mode();
    temporary = folder_of(path) + "/statetools-XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    remove_on_signal(temporary);
    fchmod(fd, mode);
    return fd;
}

bool replaceable_by_rename(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && access(path, W_OK) == 0;
}

bool rename_over(const char* temporary, const char* path) {
    bool renamed = rename(temporary, path) == 0;
    if (renamed) removal_pending = 0;
    return renamed;
}

void remove_temporary(const char* temporary) {
    unlink(temporary);
    removal_pending = 0;
}

std::string temporary_folder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// Removed as soon as it is made: the open descriptor keeps it until closed.
int open_spool_file() {
    std::string path = temporary_folder() + "/statetools-XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0) return -1;
    unlink(path.c_str());
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

std::ptrdiff_t read_some(int fd, char* data, std::size_t n) {
    ssize_t got;
    do {
        got = read(fd, data, n);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool write_all(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        ssize_t written = write(fd, data, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

std::int64_t file_position(int fd) { return static_cast<std::int64_t>(lseek(fd, 0, SEEK_CUR)); }

bool seek_file(int fd, std::int64_t position) {
    return lseek(fd, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

bool close_file(int fd) { return close(fd) == 0; }

bool is_regular_file(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t file_size(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool is_terminal(int fd) { return isatty(fd) == 1; }

static file_id identity(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true, S_ISCHR(st.st_mode)};
}

file_id identify_file(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 ? identity(st) : file_id{};
}

file_id identify_path(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? identity(st) : file_id{};
}

standard_streams keep_standard_streams_open() {
    standard_streams open_before;
    bool* was_open[] = {&open_before.input, &open_before.output, &open_before.error};
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        *was_open[fd] = false;
        // open() returns the lowest free number, which is this one.
        open("/dev/null", O_WRONLY);
    }
    return open_before;
}

int open_standard_input() {
    int flags = fcntl(standard_input, F_GETFL);
    struct stat st;
    if (flags == -1 || (flags & O_ACCMODE) == O_WRONLY) {
        errno = EBADF;
        return -1;
    }
    if (fstat(standard_input, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    return standard_input;
}

void ignore_write_signals() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

// Room enough for the decompressors' deepest calls, under the sanitizers
// too.
constexpr std::size_t helper_stack_size = 1024 * 1024;

namespace {
struct thread_start {
    void (*run)(void*);
    void* argument;
};
}  // namespace

static void* run_thread(void* start) {
    thread_start s = *static_cast<thread_start*>(start);
    delete static_cast<thread_start*>(start);
    s.run(s.argument);
    return nullptr;
}

bool start_thread(thread_handle& t, void (*run)(void*), void* argument) {
    static_assert(sizeof(pthread_t) <= sizeof t.id);
    auto* start = new (std::nothrow) thread_start{run, argument};
    pthread_attr_t attributes;
    int error = start == nullptr ? ENOMEM : pthread_attr_init(&attributes);
    if (error == 0) {
        pthread_attr_setstacksize(&attributes, helper_stack_size);
        pthread_t id;
        error = pthread_create(&id, &attributes, run_thread, start);
        pthread_attr_destroy(&attributes);
        if (error == 0) std::memcpy(&t.id, &id, sizeof id);
    }
    if (error != 0) {
        delete start;
        errno = error;
        return false;
    }
    t.started = true;
    return true;
}

void join_thread(thread_handle& t) {
    if (!t.started) return;
    pthread_t id;
    std::memcpy(&id, &t.id, sizeof id);
    pthread_join(id, nullptr);
    t.started = false;
}

void detach_thread(thread_handle& t) {
    if (!t.started) return;
    pthread_t id;
    std::memcpy(&id, &t.id, sizeof id);
    pthread_detach(id);
    t.started = false;
}
