// SPDX-License-Identifier: MIT
// Reading the label file once, with its identity, and replacing exactly that file or nothing.
//
// The user's file must survive a full disk, an edit or a swapped link during the write, a shared
// folder and a write killed at any point: the new text goes into a scratch file beside the
// resolved target (on Linux one without a name, which vanishes with a killed writer), is synced
// and given the old file's metadata, and is renamed over the target only if the target is still
// the file that was read. Every call is checked; a failure anywhere removes the scratch file.
// The program's own writers take turns for the check and the rename, which another writer could
// otherwise slip between.
#include "guardedfile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif
#else
#include <QDateTime>
#include <QSaveFile>
#endif

namespace {

std::function<void()> &writeHook()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void(GuardedWriteStep)> &stepHook()
{
    static std::function<void(GuardedWriteStep)> hook;
    return hook;
}

bool &namedScratchForced()
{
    static bool forced = false;
    return forced;
}

void runWriteHook()
{
    if (writeHook())
        writeHook()();
}

} // namespace

void setLabelFileWriteHook(std::function<void()> hook)
{
    writeHook() = std::move(hook);
}

void setGuardedWriteStepHook(std::function<void(GuardedWriteStep)> hook)
{
    stepHook() = std::move(hook);
}

void setGuardedWriteNamedScratch(bool named)
{
    namedScratchForced() = named;
}

#ifdef Q_OS_UNIX

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) { }
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    void reset(int other)
    {
        if (fd >= 0)
            ::close(fd);
        fd = other;
    }
    int get() const { return fd; }
    // A delayed write error (NFS, some quotas) shows only here.
    bool close()
    {
        const int closing = std::exchange(fd, -1);
        return ::close(closing) == 0;
    }

private:
    int fd;
};

qint64 modifiedNs(const struct stat &st)
{
#ifdef Q_OS_LINUX
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
    // Whole seconds are what every Unix offers under the same name.
    return qint64(st.st_mtime) * 1000000000;
#endif
}

bool isFileThatWasRead(const struct stat &st, const LabelFileText &file)
{
    return S_ISREG(st.st_mode) && quint64(st.st_dev) == file.device
            && quint64(st.st_ino) == file.inode && qint64(st.st_size) == file.size
            && modifiedNs(st) == file.modifiedNs;
}

// A name that decodes lossily would name another file when encoded again.
bool decodeExactly(const QByteArray &encoded, QString *decoded)
{
    *decoded = QFile::decodeName(encoded);
    return QFile::encodeName(*decoded) == encoded;
}

bool resolvedPath(const QByteArray &path, QByteArray *resolved)
{
    char *const real = ::realpath(path.constData(), nullptr);
    if (real == nullptr)
        return false;
    *resolved = QByteArray(real);
    std::free(real);
    return true;
}

} // namespace

void adviseHugePages(QByteArray *bytes)
{
#ifdef MADV_HUGEPAGE
    // A large file's buffer in pages of 2 MiB where the system offers them: read into pages of
    // 4 KiB, each is a fault of its own, and the faults of a 10 MB file cost more than reading it.
    constexpr qsizetype hugePage = qsizetype(2) * 1024 * 1024;
    const auto skipped = qsizetype((hugePage - quintptr(bytes->data()) % hugePage) % hugePage);
    const qsizetype pages = (bytes->size() - skipped) / hugePage;
    if (skipped < bytes->size() && pages > 0)
        ::madvise(bytes->data() + skipped, size_t(pages * hugePage), MADV_HUGEPAGE);
#else
    Q_UNUSED(bytes);
#endif
}

namespace {

// The buffer is sized once, from the size the open file reports: appended block by block, it grew
// in steps to more than twice a large file's size, moving it each time. The byte to spare finds
// the end of a file of that size without growing the buffer; a file that grows meanwhile is still
// read to its end, within limit.
bool readAll(int fd, qint64 expected, qint64 limit, QByteArray *bytes)
{
    *bytes = QByteArray(qsizetype(std::clamp<qint64>(expected, 0, limit) + 1), Qt::Uninitialized);
    adviseHugePages(bytes);
    qsizetype got = 0;
    while (true) {
        if (got == bytes->size()) {
            if (got > limit)
                return false;
            bytes->resize(qsizetype(std::min<qint64>(qint64(got) * 2, limit + 1)));
        }
        const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    bytes->truncate(got);
    return true;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

#ifdef Q_OS_LINUX
QList<QByteArray> attributeNames(int fd)
{
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray list(size, '\0');
    const ssize_t got = ::flistxattr(fd, list.data(), size_t(list.size()));
    if (got < 0)
        return { QByteArray() }; // changed meanwhile: an empty name fails every copy
    list.truncate(got);
    QList<QByteArray> names = list.split('\0');
    names.removeAll(QByteArray());
    return names;
}

// Every extended attribute, the ACL among them (system.posix_acl_access), exactly: what the
// scratch file got from the directory's default ACL and the old file lacks goes too.
bool copyAttributes(int from, int to)
{
    const QList<QByteArray> names = attributeNames(from);
    for (const QByteArray &name : attributeNames(to)) {
        if (!names.contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    }
    for (const QByteArray &name : names) {
        const ssize_t size = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        QByteArray value(size, '\0');
        const ssize_t got = ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (got != size
            || ::fsetxattr(to, name.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}
#endif

// Owner and group first (changing them clears set-id bits), then the mode, then the ACL, which
// sets the group bits to its mask: the old file's group bits already are that mask.
bool copyMetadata(int from, const struct stat &old, int to)
{
    struct stat now = {};
    if (::fstat(to, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid)
        && ::fchown(to, now.st_uid == old.st_uid ? uid_t(-1) : old.st_uid,
                    now.st_gid == old.st_gid ? gid_t(-1) : old.st_gid)
                != 0)
        return false;
    if (::fchmod(to, old.st_mode & 07777) != 0)
        return false;
#ifdef Q_OS_LINUX
    if (!copyAttributes(from, to))
        return false;
#else
    Q_UNUSED(from);
#endif
    return ::fstat(to, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid
            && (now.st_mode & 07777) == (old.st_mode & 07777);
}

// A second hard link would keep the old text under its other name; a file of another owner
// cannot be given back to that owner by anyone but root.
bool canReplace(int dir, const QByteArray &name, const struct stat &old)
{
    return old.st_nlink == 1 && (old.st_uid == ::geteuid() || ::geteuid() == 0)
            && ::faccessat(dir, name.constData(), W_OK, AT_EACCESS) == 0;
}

void reached(GuardedWriteStep step)
{
    if (step == GuardedWriteStep::BeforeCheck)
        runWriteHook();
    if (stepHook())
        stepHook()(step);
}

// Long enough for another writer's check and rename, even on a busy machine; short enough that a
// stuck or foreign holder never keeps the window from appearing for longer.
constexpr int lockWaitMs = 2000;

// Held by the program's writers from the final check of the target to its rename, so that none
// of them renames between another one's check and rename. A lock on the file itself would not
// do: the rename replaces it. The descriptor must be the writer's own open of the directory.
class DirectoryLock
{
public:
    explicit DirectoryLock(int dir) : dir(dir) { }
    ~DirectoryLock() { release(); }
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;
    // A file system without locks gives no turns either: such a write is refused, as a timeout is.
    bool take(int waitMs)
    {
        const QDeadlineTimer deadline(waitMs);
        for (bool first = true; ::flock(dir, LOCK_EX | LOCK_NB) != 0; first = false) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
                return false;
            if (first)
                reached(GuardedWriteStep::LockBusy);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        held = true;
        return true;
    }
    void release()
    {
        if (std::exchange(held, false))
            ::flock(dir, LOCK_UN);
    }

private:
    int dir;
    bool held = false;
};

// A scratch file's name tells whose it is: ".NAME.scratch-PID-" and 16 hexadecimal digits, a
// pattern no one gives a file of their own.
QByteArray scratchPrefix(const QByteArray &name)
{
    return '.' + name + ".scratch-";
}

QByteArray newScratchName(const QByteArray &name)
{
    return scratchPrefix(name) + QByteArray::number(qint64(::getpid())) + '-'
            + QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                      .rightJustified(16, '0');
}

// The writer's process id, when entry is a scratch name of exactly that pattern.
bool scratchWriter(const QByteArray &entry, const QByteArray &prefix, pid_t *pid)
{
    if (!entry.startsWith(prefix))
        return false;
    const QByteArray rest = entry.mid(prefix.size());
    const qsizetype dash = rest.indexOf('-');
    const QByteArray digits = rest.left(dash);
    const QByteArray tag = rest.mid(dash + 1);
    if (dash < 1 || dash > 10 || digits.startsWith('0') || tag.size() != 16)
        return false;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
    }
    for (const char c : tag) {
        if ((c < '0' || c > '9') && (c < 'a' || c > 'f'))
            return false;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value <= 0 || value > 0x7fffffff)
        return false;
    *pid = pid_t(value);
    return true;
}

// A write killed before its scratch file was renamed leaves that file behind (the named
// scratch file of a file system without unnamed ones, or the moment between naming and
// renaming). Only the user's own regular files of the scratch pattern go, and only when their
// writer is no longer running or they have not changed for an hour (a process id used again, or
// a writer on another machine): no write takes that long. Done holding the directory lock, so
// that no writer of the program is between naming its file and renaming it; skipped when another
// writer holds the lock.
void removeStaleScratchFiles(int dir, const QByteArray &name)
{
    DirectoryLock lock(dir);
    if (!lock.take(0))
        return;
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *const entries = listing < 0 ? nullptr : ::fdopendir(listing);
    if (entries == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    const QByteArray prefix = scratchPrefix(name);
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(entries)) {
        pid_t pid = 0;
        struct stat st = {};
        if (!scratchWriter(QByteArray(entry->d_name), prefix, &pid)
            || ::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != ::geteuid() || st.st_nlink != 1)
            continue;
        const bool writerGone = pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
        if (writerGone || now - st.st_mtime > 3600)
            ::unlinkat(dir, entry->d_name, 0);
    }
    ::closedir(entries);
}

// The new text's file: without a name where the file system allows that, so that a writer killed
// at any point leaves nothing behind; otherwise a new scratch file beside the target. A name it
// was given is removed again unless the file was renamed to the target.
class ScratchFile
{
public:
    ScratchFile(int dir, const QByteArray &name) : dir(dir), target(name) { }
    ~ScratchFile()
    {
        if (!name.isEmpty())
            ::unlinkat(dir, name.constData(), 0);
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    // Never readable by more than the old file: its mode is set once the text is in.
    bool create(mode_t mode)
    {
#ifdef O_TMPFILE
        if (!namedScratchForced()) {
            fd.reset(::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
            if (fd.get() >= 0)
                return true;
            // Only a file system or kernel without unnamed files falls back to a named one.
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return false;
        }
#endif
        for (int attempt = 0; attempt < 8 && fd.get() < 0; ++attempt) {
            name = newScratchName(target);
            fd.reset(::openat(dir, name.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (fd.get() < 0) {
                name.clear();
                if (errno != EEXIST)
                    return false;
            }
        }
        return fd.get() >= 0;
    }

    int descriptor() const
    {
        return fd.get();
    }
    bool isNamed() const
    {
        return !name.isEmpty();
    }

    // A delayed write error (NFS, some quotas) shows only at close. A file without a name must
    // stay open until it has one, and the file systems that give such files report write errors
    // at the sync already.
    bool closeIfNamed()
    {
        return !isNamed() || fd.close();
    }

    // An existing target is replaced by a rename from a name beside it: that name is given only
    // now, just before the rename.
    bool nameBeside()
    {
#ifdef O_TMPFILE
        for (int attempt = 0; attempt < 8 && name.isEmpty(); ++attempt) {
            const QByteArray candidate = newScratchName(target);
            if (linkUnnamed(candidate))
                name = candidate;
            else if (errno != EEXIST)
                return false;
        }
#endif
        return isNamed();
    }

    bool renameOverTarget()
    {
        if (::renameat(dir, name.constData(), dir, target.constData()) != 0)
            return false;
        name.clear();
        return true;
    }

    // A missing target is created only if it is still missing: of several first starts at once
    // exactly one writes it.
    bool createTarget()
    {
        if (!isNamed())
            return linkUnnamed(target);
#ifdef Q_OS_LINUX
        if (::renameat2(dir, name.constData(), dir, target.constData(), RENAME_NOREPLACE) == 0) {
            name.clear();
            return true;
        }
        // EEXIST: another start was first. Other errors: the file system may lack the flag.
        if (errno != EINVAL && errno != ENOSYS)
            return false;
#endif
        return ::linkat(dir, name.constData(), dir, target.constData(), 0) == 0;
    }

private:
    // Fails when the name exists: linkat never replaces.
    bool linkUnnamed(const QByteArray &as) const
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd.get());
        if (::linkat(AT_FDCWD, self.constData(), dir, as.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
#ifdef AT_EMPTY_PATH
        // Without /proc, the descriptor itself, where the process is allowed to link by it.
        if (errno == ENOENT)
            return ::linkat(fd.get(), "", dir, as.constData(), AT_EMPTY_PATH) == 0;
#endif
        return false;
    }

    int dir;
    QByteArray target;
    FileDescriptor fd;
    QByteArray name; // empty while the file has none (or once it is the target's)
};

} // namespace

GuardedRead readGuarded(const QString &path, LabelFileText *file, QByteArray *bytes)
{
    file->path = path;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st = {};
    if (path.isEmpty() || encoded.endsWith('/'))
        return GuardedRead::Failed;
    QByteArray target;
    if (::lstat(encoded.constData(), &st) != 0) {
        if (errno != ENOENT)
            return GuardedRead::Failed;
        const qsizetype slash = encoded.lastIndexOf('/');
        const QByteArray name = encoded.mid(slash + 1);
        QByteArray dir;
        if (name == "." || name == ".."
            || !resolvedPath(slash < 0            ? QByteArray(".")
                                     : slash == 0 ? QByteArray("/")
                                                  : encoded.left(slash),
                             &dir))
            return GuardedRead::Failed;
        target = (dir == "/" ? dir : dir + '/') + name;
        // Created through a link that appeared meanwhile, the file would be somewhere else.
        if (::lstat(target.constData(), &st) == 0 || errno != ENOENT)
            return GuardedRead::Failed;
        return decodeExactly(target, &file->target) ? GuardedRead::Missing : GuardedRead::Failed;
    }
    // Resolved once: what is read, checked and replaced is this path, never a later link.
    if (!resolvedPath(encoded, &target) || !decodeExactly(target, &file->target))
        return GuardedRead::Failed;
    // Not blocking on a pipe, not following a link put in place since.
    const FileDescriptor in(
            ::open(target.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size > maxLabelFileSize
        || !readAll(in.get(), qint64(st.st_size), maxLabelFileSize, bytes)
        || bytes->size() != st.st_size)
        return GuardedRead::Failed;
    file->device = quint64(st.st_dev);
    file->inode = quint64(st.st_ino);
    file->size = qint64(st.st_size);
    file->modifiedNs = modifiedNs(st);
    return GuardedRead::Read;
}

bool writeGuarded(const LabelFileText &file, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(file.target);
    const qsizetype slash = target.lastIndexOf('/');
    if (file.state == LabelFileState::Unusable || slash < 0)
        return false;
    const QByteArray name = target.mid(slash + 1);
    // Opened for reading, which the lock needs: a directory that may be written and entered but
    // not read (mode 0300) gets no write, since other writers could not be kept out of it.
    const FileDescriptor dir(::open(slash == 0 ? "/" : target.left(slash).constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0)
        return false;
    removeStaleScratchFiles(dir.get(), name);

    const bool replacing = file.state != LabelFileState::Missing;
    FileDescriptor old;
    struct stat oldStat = {};
    if (replacing) {
        old.reset(::openat(dir.get(), name.constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (old.get() < 0 || ::fstat(old.get(), &oldStat) != 0 || !isFileThatWasRead(oldStat, file)
            || !canReplace(dir.get(), name, oldStat))
            return false;
    }

    // A new file gets the mode the umask allows, as any other program's would.
    ScratchFile scratch(dir.get(), name);
    if (!scratch.create(replacing ? 0600 : 0666))
        return false;
    reached(GuardedWriteStep::ScratchCreated);
    if (!writeAll(scratch.descriptor(), bytes))
        return false;
    reached(GuardedWriteStep::Written);
    if (replacing && !copyMetadata(old.get(), oldStat, scratch.descriptor()))
        return false;
    reached(GuardedWriteStep::MetadataCopied);
    if (::fsync(scratch.descriptor()) != 0 || !scratch.closeIfNamed())
        return false;
    reached(GuardedWriteStep::Synced);

    reached(GuardedWriteStep::BeforeCheck);
    DirectoryLock lock(dir.get());
    if (!lock.take(lockWaitMs))
        return false;
    reached(GuardedWriteStep::Locked);
    if (replacing) {
        // Checked under the lock: a writer of the program that replaced the file meanwhile has
        // released it by now, and this write then refuses instead of undoing that one.
        struct stat now = {};
        if (::fstatat(dir.get(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0
            || !isFileThatWasRead(now, file) || now.st_nlink != 1)
            return false;
        if (!scratch.isNamed()) {
            if (!scratch.nameBeside())
                return false;
            reached(GuardedWriteStep::Named);
        }
        if (!scratch.renameOverTarget())
            return false;
        reached(GuardedWriteStep::Renamed);
    } else {
        if (!scratch.createTarget())
            return false;
        reached(GuardedWriteStep::Named);
    }
    lock.release();
    // The new name is on disk too; the file was written either way.
    ::fsync(dir.get());
    return true;
}

#else

GuardedRead readGuarded(const QString &path, LabelFileText *file, QByteArray *bytes)
{
    file->path = path;
    const QFileInfo info(path);
    if (path.isEmpty() || (info.isSymLink() && !info.exists()))
        return GuardedRead::Failed;
    if (!info.exists()) {
        file->target = info.absoluteFilePath();
        return GuardedRead::Missing;
    }
    file->target = info.canonicalFilePath();
    if (!info.isFile() || info.size() > maxLabelFileSize)
        return GuardedRead::Failed;
    QFile in(file->target);
    if (!in.open(QIODevice::ReadOnly))
        return GuardedRead::Failed;
    *bytes = in.readAll();
    if (in.error() != QFileDevice::NoError || bytes->size() != info.size())
        return GuardedRead::Failed;
    file->size = info.size();
    file->modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return GuardedRead::Read;
}

bool writeGuarded(const LabelFileText &file, const QByteArray &bytes)
{
    if (file.state == LabelFileState::Missing) {
        QFile out(file.target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
        if (out.write(bytes) == bytes.size() && out.flush())
            return true;
        out.remove();
        return false;
    }
    const QFileInfo info(file.target);
    if (file.state == LabelFileState::Unusable || info.size() != file.size
        || info.lastModified().toMSecsSinceEpoch() * 1000000 != file.modifiedNs)
        return false;
    QSaveFile out(file.target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    runWriteHook();
    return out.commit();
}

#endif
