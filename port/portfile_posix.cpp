// SPDX-License-Identifier: MIT
// The port file on Linux and other POSIX systems: mode 0600 in a directory of
// mode 0700, owned by the user, mapped with mmap.
#include "port/driver.h"
#include "port/manual.h"
#include "port/portfile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lpt {

std::string defaultSimPath() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/')
        return std::string(run) + "/lptpanel/port";
    return "/tmp/lptpanel-" + std::to_string(::geteuid()) + "/port";
}

namespace portfile {

namespace {

constexpr const char* kSection = kPagePortFile;

std::string dirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes dir (and any missing parent) with mode 0700 and checks that no other
// user can change what is in it.
void ensureSafeDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (errno == ENOENT && dir != dirOf(dir)) {
            ensureSafeDirectory(dirOf(dir));
            if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST)
                return ensureSafeDirectory(dir);
        }
        const int err = errno;
        throw PortError({"cannot create the simulated port's directory " + dir, describeErrno(err),
                         "choose a file in a directory you own with PARPORT=sim:PATH", kSection});
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw PortError({"simulated port directory " + dir + " refused",
                         "it is not a directory (or is a link)",
                         "choose another file with PARPORT=sim:PATH", kSection});
    // Another user's directory is not this user's to change or remove: the
    // fix is a port file somewhere else.
    if (st.st_uid != ::geteuid())
        throw PortError({"simulated port directory " + dir + " refused",
                         "it belongs to another user",
                         "set XDG_RUNTIME_DIR to a directory of your own, or choose another file "
                         "with PARPORT=sim:PATH",
                         kSection});
    if ((st.st_mode & 022) != 0)
        throw PortError({"simulated port directory " + dir + " refused",
                         "other users can write into it",
                         "use a directory only you can change (chmod 700 " + dir +
                             "), or choose another file with PARPORT=sim:PATH",
                         kSection});
}

// Opens the existing port file without following a link; -1 with errno set
// when there is none.
int openExisting(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
}

// Creates a fresh port file atomically: it is built under a temporary name and
// linked into place. Returns the file descriptor of the port file at path
// (ours, or one that another process made first).
int createFresh(const std::string& path, std::size_t size, void (*init)(void*)) {
    std::string tmp = dirOf(path) + "/.lptport-XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        const int err = errno;
        throw PortError({"cannot create the simulated port file " + path, describeErrno(err),
                         "choose a file in a directory you own with PARPORT=sim:PATH", kSection});
    }
    ::fchmod(fd, 0600);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        throw PortError({"cannot create the simulated port file " + path, describeErrno(err),
                         "free some space or choose another file with PARPORT=sim:PATH", kSection});
    }
    void* mem = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mem != MAP_FAILED) {
        init(mem);
        ::munmap(mem, size);
    }
    const bool linked = ::link(tmp.c_str(), path.c_str()) == 0;
    const int err = errno;
    ::unlink(tmp.c_str());
    ::close(fd);
    if (!linked && err != EEXIST)
        throw PortError({"cannot create the simulated port file " + path, describeErrno(err),
                         "choose a file in a directory you own with PARPORT=sim:PATH", kSection});
    return openExisting(path);
}

} // namespace

void* map(const std::string& path, std::size_t size, void (*init)(void*)) {
    ensureSafeDirectory(dirOf(path));
    int fd = openExisting(path);
    if (fd < 0 && errno == ENOENT)
        fd = createFresh(path, size, init);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if (err == EISDIR)
            refuse(path, "it is not a regular file", "choose another file with PARPORT=sim:PATH");
        if (err == ELOOP || (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
            refuse(path, "it is a symbolic link",
                   "remove the link (rm " + path + ") or " + resetFix());
        if (::lstat(path.c_str(), &st) == 0 && st.st_uid != ::geteuid())
            refuse(path, "it belongs to another user", "choose another file with PARPORT=sim:PATH");
        refuse(path, describeErrno(err), resetFix());
    }
    struct stat st {};
    ::fstat(fd, &st);
    auto bad = [&](std::string cause, std::string fix) {
        ::close(fd);
        refuse(path, std::move(cause), std::move(fix));
    };
    if (!S_ISREG(st.st_mode))
        bad("it is not a regular file", "choose another file with PARPORT=sim:PATH");
    if (st.st_uid != ::geteuid())
        bad("it belongs to another user", "choose another file with PARPORT=sim:PATH");
    if ((st.st_mode & 022) != 0)
        bad("other users can write to it", "chmod 600 " + path + ", or " + resetFix());
    if (static_cast<std::size_t>(st.st_size) != size)
        bad("it is not a simulated port file (wrong size)", resetFix());
    void* mem = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int mapErr = errno;
    ::close(fd);
    if (mem == MAP_FAILED)
        refuse(path, "cannot map it: " + describeErrno(mapErr), resetFix());
    return mem;
}

void unmap(void* mem, std::size_t size) {
    ::munmap(mem, size);
}

void remove(const std::string& path) {
    ensureSafeDirectory(dirOf(path));
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::unlink(path.c_str()) != 0) {
        const int err = errno;
        refuse(path, "cannot remove it: " + describeErrno(err),
               "choose another file with PARPORT=sim:PATH");
    }
}

} // namespace portfile
} // namespace lpt
