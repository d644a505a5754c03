// The operating system's part on Linux, macOS and the BSDs.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
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

// Every signal whose default ends the process, but those the tools ignore
// (SIGPIPE, SIGXFSZ) and SIGKILL, which no process can catch: a batch
// system's limits (SIGXCPU), a user's SIGQUIT. A signal the run was started
// to ignore (as background jobs ignore SIGINT) stays ignored.
static void remove_on_signal(const std::string& path) {
    if (path.size() >= sizeof pending_removal) return;
    std::memcpy(pending_removal, path.c_str(), path.size() + 1);
    removal_pending = 1;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                              SIGPROF, SIGTRAP, SIGABRT, SIGSYS}) {
        struct sigaction old;
        if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_end;
        action.sa_flags = SA_RESTART;
        sigaction(signal_number, &action, nullptr);
    }
}

static std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static mode_t new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A file in the folder with no name (Linux: O_TMPFILE), so that no signal,
// not even SIGKILL, can leave it behind; -1 where the system or the file
// system has none.
static int open_unnamed_file(const std::string& folder) {
#ifdef O_TMPFILE
    // It is named at the end through /proc: without /proc, it could not be.
    if (access("/proc/self/fd", X_OK) != 0) return -1;
    int fd;
    do {
        fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
#else
    (void)folder;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// A named temporary file in the folder, removed on every signal that can
// be caught until it is renamed or removed.
static int open_named_temporary(const std::string& folder, std::string& name) {
    name = folder + "/statetools-XXXXXX";
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        name.clear();
        return -1;
    }
    remove_on_signal(name);
    return fd;
}

// Whether a rename may replace the file st in the folder: one link (a
// rename would cut it from the others), and, in a sticky folder such as
// /tmp, a file or folder of the user's own.
static bool rename_keeps(const struct stat& st, const std::string& folder) {
    if (st.st_nlink != 1) return false;
    struct stat in;
    if (stat(folder.c_str(), &in) != 0) return false;
    uid_t user = geteuid();
    return (in.st_mode & S_ISVTX) == 0 || user == 0 || st.st_uid == user || in.st_uid == user;
}

// The new file takes the old one's owner and group where they differ from
// the user's: false where the system does not allow it.
static bool keep_owner(int fd, const struct stat& st) {
    if (st.st_uid == geteuid() && st.st_gid == getegid()) return true;
    return fchown(fd, st.st_uid, st.st_gid) == 0;
}

// The run's bytes go to a file of the output's folder (unnamed where the
// system allows it) that a rename will put in the output's place.
static int open_for_rename(whole_file& w, const struct stat* old) {
    std::string folder = folder_of(w.path);
    int fd = open_unnamed_file(folder);
    w.unnamed = fd >= 0;
    if (fd < 0) fd = open_named_temporary(folder, w.temporary);
    if (fd < 0) return -1;
    if (old != nullptr && !keep_owner(fd, *old)) {
        discard_whole_file(w, fd);
        return -1;
    }
    // Set-id bits are never carried over to a file the run makes.
    fchmod(fd, old != nullptr ? old->st_mode & 0777 : new_file_mode());
    w.way = output_way::rename;
    return fd;
}

// The run's bytes go to a file of no name, beside the output or else in the
// temporary folder, and are copied into the output, opened now so that a
// run that may not write it fails at once, only once the run has
// succeeded.
static int open_for_copy(whole_file& w) {
    w.target = open_retrying(w.path.c_str(), O_WRONLY);
    if (w.target < 0) return -1;
    int fd = open_unnamed_file(folder_of(w.path));
    if (fd < 0) fd = open_spool_file();
    if (fd < 0) {
        close(w.target);
        w.target = -1;
        return -1;
    }
    w.way = output_way::copy;
    return fd;
}

int open_whole_file(const char* path, whole_file& w) {
    w = whole_file{};
    // A symbolic link is followed: the file it leads to is the one replaced.
    char* resolved = realpath(path, nullptr);
    w.path = resolved != nullptr ? resolved : path;
    std::free(resolved);
    struct stat st;
    bool exists = stat(w.path.c_str(), &st) == 0;
    if (!exists && lstat(path, &st) == 0) return open_for_copy(w);  // a link to no file yet
    if (exists && !S_ISREG(st.st_mode)) {
        w.way = output_way::in_place;  // a FIFO, a device: written as the run goes
        return open_retrying(w.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
    }
    if (exists && access(w.path.c_str(), W_OK) != 0) {
        w.way = output_way::in_place;  // fails as the user may not write it
        return open_retrying(w.path.c_str(), O_WRONLY);
    }
    // A rename needs room for the temporary's name beside the output.
    bool room_for_name = folder_of(w.path).size() + 48 < PATH_MAX;
    if (room_for_name && (!exists || rename_keeps(st, folder_of(w.path)))) {
        int fd = open_for_rename(w, exists ? &st : nullptr);
        if (fd >= 0) return fd;
    }
    if (exists) return open_for_copy(w);
    // A new file whose folder takes no temporary: made in place.
    w.way = output_way::in_place;
    return open_retrying(w.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
}

// The run's file, closed (a failed close is a failed run: the last blocks
// may not have reached the disk), replaces the output. An unnamed file
// first gets a temporary name, removed on a signal until the rename.
static bool rename_into_place(whole_file& w, int fd) {
    if (w.unnamed) {
        std::string link = "/proc/self/fd/" + std::to_string(fd);
        w.temporary = folder_of(w.path) + "/statetools-" + std::to_string(getpid()) + "-" + std::to_string(fd);
        remove_on_signal(w.temporary);
        if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, w.temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            removal_pending = 0;
            w.temporary.clear();
            close(fd);
            return false;
        }
    }
    if (close(fd) != 0 || rename(w.temporary.c_str(), w.path.c_str()) != 0) return false;
    removal_pending = 0;
    w.temporary.clear();
    return true;
}

// The run's bytes, from the start of its file, copied over the output's;
// set-id bits the output had are dropped.
static bool copy_into_place(whole_file& w, int fd) {
    bool copied = lseek(fd, 0, SEEK_SET) == 0 && ftruncate(w.target, 0) == 0;
    struct stat st;
    if (copied && fstat(w.target, &st) == 0 && (st.st_mode & (S_ISUID | S_ISGID)) != 0)
        fchmod(w.target, st.st_mode & 0777);
    char buf[64 * 1024];
    while (copied) {
        std::ptrdiff_t got = read_some(fd, buf, sizeof buf);
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = write_all(w.target, buf, static_cast<std::size_t>(got));
    }
    int error = errno;
    close(fd);
    int target = w.target;
    w.target = -1;
    bool closed = close(target) == 0;
    if (!copied) errno = error;
    return closed && copied;
}

bool commit_whole_file(whole_file& w, int fd) {
    bool done = w.way == output_way::copy ? copy_into_place(w, fd)
                : w.way == output_way::rename ? rename_into_place(w, fd)
                                              : close(fd) == 0;
    discard_whole_file(w, -1);
    return done;
}

void discard_whole_file(whole_file& w, int fd) {
    int error = errno;
    if (fd >= 0) close(fd);
    if (w.target >= 0) close(w.target);
    w.target = -1;
    if (!w.temporary.empty()) {
        unlink(w.temporary.c_str());
        removal_pending = 0;
        w.temporary.clear();
    }
    errno = error;
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
