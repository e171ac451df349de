// Settings files on POSIX systems.
//
// A file is never rewritten in place: the new content goes into a new file in the target's
// folder (so that both lie on one file system), is flushed to the disk, and is renamed over the
// old one, which is atomic; then the folder itself is flushed so that the rename survives a power
// cut. Whatever fails, the old file stays as it was and the new one is removed. A new file that
// must not replace anything (a backup) is linked to its name instead, which fails when the name
// is taken. A file system without hard links (FAT on a memory stick) refuses the link: the new
// file is then moved to its name with renameat2's RENAME_NOREPLACE, which Linux offers on FAT
// too; where the system has no such call, the name is first taken by an empty file created
// exclusively, and the new file is renamed over that one only while the name still holds it. So
// the name holds the whole content or, after a crash at that one moment, an empty file that no
// reader mistakes for settings; never a part of them.
//
// The target is the file a name leads to: symbolic links are followed, so a link stays a link
// and the file it points to gets the content. Following them here, and then renaming onto the
// target, bypasses the kernel's own guard against links planted in shared folders
// (fs.protected_symlinks), so its rule is kept here: a link in a sticky folder that everybody may
// write (/tmp) is followed only when it belongs to the folder's owner or to the one who runs the
// tool. Otherwise root, asked to save to /tmp/x.lv24, would replace whatever another user's link
// there names, /etc/passwd included. Only a regular file is ever replaced: a folder, a
// device (/dev/full), a pipe or a socket at the name is refused before anything is written, and
// so is a file that nobody may write, also when root runs the tool and could replace it. A file
// with several names (hard links) is refused as well: the renamed new file would take only the
// one name, and the others would keep the old content without a word. Reading refuses what is
// not a regular file before it opens it, and opens without waiting, so that a pipe (FIFO) or a
// terminal never holds the tool for ever and a serial port is not touched by opening it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/write_all_posix.h"
#include "settings/file_replace.h"
#include "settings/file_replace_steps_posix.h"

namespace {

constexpr int LINKS_MAX = 40; // links followed from one name, as the system itself follows
// The new file's name while it is written: short, so that it fits in every folder that takes the
// target's name, however long that is.
constexpr char TEMPORARY_NAME[] = ".lumivo24-XXXXXX";

FilePutResult failed(char why[FILE_WHY_BYTES], const char* text) {
    snprintf(why, FILE_WHY_BYTES, "%s", text);
    return FILE_PUT_FAILED;
}

FilePutResult failed_errno(char why[FILE_WHY_BYTES], int error) {
    return failed(why, strerror(error));
}

bool cancelled(FileProceed proceed) {
    return proceed != nullptr && !proceed();
}

// The folder of a path: "." for a bare name, "/" for a name in the root.
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void flush_folder(const std::string& folder) {
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir); // some file systems cannot flush a folder; the file is in place regardless
        close(dir);
    }
}

// resolve's result for a link that the kernel's rule would not follow.
constexpr int LINK_NOT_FOLLOWED = -1;

// The kernel's rule for a link found at `link` (fs.protected_symlinks): in a sticky folder that
// everybody may write, only a link of the folder's owner or of the caller is followed.
bool may_follow(const std::string& link, const struct stat& link_info) {
    struct stat folder {};
    if (stat(folder_of(link).c_str(), &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link_info.st_uid == folder.st_uid || link_info.st_uid == geteuid();
}

// Follows symbolic links from `path` to the name of the file they lead to. *found tells whether
// that file exists (a dangling link leads to the file it names, to be created), with its status
// in *info. Returns 0, an errno value, or LINK_NOT_FOLLOWED.
int resolve(const char* path, std::string* target, struct stat* info, bool* found) {
    *target = path;
    for (int hops = 0;; ++hops) {
        if (lstat(target->c_str(), info) != 0) {
            *found = false;
            return errno == ENOENT ? 0 : errno;
        }
        *found = true;
        if (!S_ISLNK(info->st_mode)) {
            return 0;
        }
        if (hops == LINKS_MAX) {
            return ELOOP;
        }
        if (!may_follow(*target, *info)) {
            return LINK_NOT_FOLLOWED;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(target->c_str(), link, sizeof link);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof link) {
            return n < 0 ? errno : ENAMETOOLONG;
        }
        const std::string next(link, static_cast<size_t>(n));
        *target = next[0] == '/' ? next : folder_of(*target) + "/" + next;
        if (target->size() >= PATH_MAX) {
            return ENAMETOOLONG;
        }
    }
}

// Why something that is not a regular file is refused, in the same words for reading and
// saving; null for a regular file.
const char* kind_refusal(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "it is a device, not a regular file";
    }
    if (S_ISFIFO(mode)) {
        return "it is a pipe (FIFO), not a regular file";
    }
    return S_ISREG(mode) ? nullptr : "it is not a regular file";
}

// Whether the existing `target` may be replaced: true, or false with the reason in `why`.
bool may_replace(const std::string& target, const struct stat& info, char why[FILE_WHY_BYTES]) {
    if (const char* refused = kind_refusal(info.st_mode)) {
        failed(why, refused);
        return false;
    }
    // access() lets root write anything; the mode bits say whether the file is meant to change.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        failed(why, "it is read-only");
        return false;
    }
    if (access(target.c_str(), W_OK) != 0) {
        failed_errno(why, errno);
        return false;
    }
    if (info.st_nlink > 1) {
        snprintf(why, FILE_WHY_BYTES,
                 "it has %lu names (hard links), and a new file would take only this one, leaving "
                 "the old content under the others; save to another name and copy that over it "
                 "(cp keeps the names together), or remove the other names first",
                 static_cast<unsigned long>(info.st_nlink));
        return false;
    }
    return true;
}

// Writes the bytes into a new file in `folder`, flushed to disk, with the permissions, owner and
// group of `old` when there is one (owner and group as far as the system lets this process give
// them) and the usual permissions of a new file otherwise. Returns 0 with the new file's name in
// *temporary, or an errno value with nothing left behind.
int write_temporary(const std::string& folder, const uint8_t* bytes, size_t n,
                    const struct stat* old, std::string* temporary) {
    *temporary = folder + "/" + TEMPORARY_NAME;
    const int fd = mkstemp(temporary->data());
    if (fd < 0) {
        return errno;
    }
    mode_t mode = 0;
    if (old != nullptr) {
        // Owner and group first: changing them may clear the set-id bits that fchmod restores.
        if (fchown(fd, old->st_uid, old->st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
            // a group this user is not in: the new file keeps the user's own
        }
        mode = old->st_mode & 07777;
    } else {
        const mode_t mask = umask(022);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0 && write_all(fd, bytes, n) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary->c_str());
        return error;
    }
    return 0;
}

// A name that cannot be a file's: empty, or ending in '/' without naming a folder.
const char* name_refusal(const char* path) {
    const size_t n = strlen(path);
    if (n == 0) {
        return "the file name is empty";
    }
    return path[n - 1] == '/' ? "a name ending in '/' names a folder, not a file" : nullptr;
}

// Puts the complete new file `temporary` at `path` only while that name is free, when the file
// system cannot link: by renameat2, else over an empty file created exclusively, which keeps the
// name from anybody else meanwhile. Returns 0, EEXIST when the name is taken, or an errno value;
// `temporary` is gone in every case.
int move_to_free_name(const std::string& temporary, const char* path) {
    if (file_put_steps.rename_new(temporary.c_str(), path) == 0) {
        return 0;
    }
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP) {
        unlink(temporary.c_str());
        return error;
    }
    const int held = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (held < 0) {
        error = errno;
        unlink(temporary.c_str());
        return error;
    }
    // Renamed over only while the name still leads to the empty file made here.
    struct stat mine {};
    struct stat now {};
    const bool ours = fstat(held, &mine) == 0 && lstat(path, &now) == 0 &&
                      mine.st_dev == now.st_dev && mine.st_ino == now.st_ino;
    close(held);
    if (!ours) {
        unlink(temporary.c_str());
        return EEXIST;
    }
    if (rename(temporary.c_str(), path) != 0) {
        error = errno;
        unlink(temporary.c_str());
        unlink(path);
        return error;
    }
    return 0;
}

int link_new(const char* from, const char* to) {
    return link(from, to);
}

int rename_new(const char* from, const char* to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

FilePutSteps file_put_steps = {link_new, rename_new};

int file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n, char why[FILE_WHY_BYTES]) {
    struct stat info {};
    if (stat(path, &info) == 0) {
        if (const char* refused = kind_refusal(info.st_mode)) {
            failed(why, refused);
            return -1;
        }
    }
    // Without waiting: a FIFO put at the name meanwhile opens at once, and is refused below.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failed_errno(why, errno);
        return -1;
    }
    if (fstat(fd, &info) != 0) {
        failed_errno(why, errno);
        close(fd);
        return -1;
    }
    if (const char* refused = kind_refusal(info.st_mode)) {
        failed(why, refused);
        close(fd);
        return -1;
    }
    size_t got = 0;
    while (got < cap) {
        const ssize_t r = read(fd, buffer + got, cap - got);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            failed_errno(why, errno);
            close(fd);
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    close(fd);
    *n = got;
    return 0;
}

FilePutResult file_put(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                       char why[FILE_WHY_BYTES]) {
    if (strlen(path) == 0) {
        return failed(why, name_refusal(path));
    }
    std::string target;
    struct stat info {};
    bool found = false;
    const int error = resolve(path, &target, &info, &found);
    if (error == LINK_NOT_FOLLOWED) {
        return failed(why, "it is a symbolic link in a folder that everybody may write, and "
                           "it belongs neither to the folder's owner nor to you, so it is not "
                           "followed");
    }
    if (error != 0) {
        return failed_errno(why, error);
    }
    if (found && !may_replace(target, info, why)) {
        return FILE_PUT_FAILED;
    }
    if (const char* refused = name_refusal(target.c_str())) {
        return failed(why, refused);
    }
    if (cancelled(proceed)) {
        return FILE_PUT_CANCELLED;
    }
    const std::string folder = folder_of(target);
    std::string temporary;
    const int written = write_temporary(folder, bytes, n, found ? &info : nullptr, &temporary);
    if (written != 0) {
        return failed_errno(why, written);
    }
    if (cancelled(proceed)) {
        unlink(temporary.c_str());
        return FILE_PUT_CANCELLED;
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int moved = errno;
        unlink(temporary.c_str());
        return failed_errno(why, moved);
    }
    flush_folder(folder);
    return FILE_PUT_DONE;
}

bool file_name_taken(const char* path) {
    struct stat info {};
    return lstat(path, &info) == 0;
}

FilePutResult file_put_new(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                           char why[FILE_WHY_BYTES]) {
    if (const char* refused = name_refusal(path)) {
        return failed(why, refused);
    }
    struct stat info {};
    if (lstat(path, &info) == 0) {
        return FILE_PUT_EXISTS;
    }
    if (cancelled(proceed)) {
        return FILE_PUT_CANCELLED;
    }
    const std::string folder = folder_of(path);
    std::string temporary;
    const int written = write_temporary(folder, bytes, n, nullptr, &temporary);
    if (written != 0) {
        return failed_errno(why, written);
    }
    if (cancelled(proceed)) {
        unlink(temporary.c_str());
        return FILE_PUT_CANCELLED;
    }
    // link() puts the complete file under its name only if the name is free, in one step.
    int placed = file_put_steps.link(temporary.c_str(), path) == 0 ? 0 : errno;
    if (placed == EPERM || placed == ENOTSUP || placed == EOPNOTSUPP || placed == ENOSYS) {
        placed = move_to_free_name(temporary, path);
    } else {
        unlink(temporary.c_str());
    }
    if (placed == EEXIST) {
        return FILE_PUT_EXISTS;
    }
    if (placed != 0) {
        return failed_errno(why, placed);
    }
    flush_folder(folder);
    return FILE_PUT_DONE;
}
