// The operating system's part on Windows: the C runtime's descriptors, all
// in binary mode, so that files and standard output carry "\n" line ends
// byte for byte as on other systems.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

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
