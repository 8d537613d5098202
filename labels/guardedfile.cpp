// Reading the label file once, with its identity, and replacing exactly that file or nothing.
//
// The user's file must survive a full disk, an edit or a swapped link during the write, and a
// shared folder: the new text goes into a scratch file beside the resolved target, is synced and
// given the old file's metadata, and is renamed over the target only if the target is still the
// file that was read. Every call is checked; a failure anywhere removes the scratch file.
#include "guardedfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
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

bool readAll(int fd, qint64 limit, QByteArray *bytes)
{
    bytes->clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (bytes->size() + n > limit)
            return false;
        bytes->append(buffer, n);
    }
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

bool createIfStillMissing(int dir, const QByteArray &scratch, const QByteArray &name)
{
#ifdef Q_OS_LINUX
    if (::renameat2(dir, scratch.constData(), dir, name.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // EEXIST: another start was first. Other errors: the file system may lack the flag.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::linkat(dir, scratch.constData(), dir, name.constData(), 0) != 0)
        return false;
    ::unlinkat(dir, scratch.constData(), 0);
    return true;
}

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
        || st.st_size > maxLabelFileSize || !readAll(in.get(), maxLabelFileSize, bytes)
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
    const FileDescriptor dir(::open(slash == 0 ? "/" : target.left(slash).constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0)
        return false;

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

    // Never readable by more than the old file: its mode is set once the text is in. A new file
    // gets the mode the umask allows, as any other program's would.
    FileDescriptor scratch;
    QByteArray scratchName;
    for (int attempt = 0; attempt < 8 && scratch.get() < 0; ++attempt) {
        scratchName =
                '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        scratch.reset(::openat(dir.get(), scratchName.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               replacing ? 0600 : 0666));
        if (scratch.get() < 0 && errno != EEXIST)
            return false;
    }
    if (scratch.get() < 0)
        return false;

    bool done = writeAll(scratch.get(), bytes)
            && (!replacing || copyMetadata(old.get(), oldStat, scratch.get()))
            && ::fsync(scratch.get()) == 0;
    done = scratch.close() && done;
    if (done) {
        runWriteHook();
        if (replacing) {
            struct stat now = {};
            done = ::fstatat(dir.get(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
                    && isFileThatWasRead(now, file) && now.st_nlink == 1
                    && ::renameat(dir.get(), scratchName.constData(), dir.get(), name.constData())
                            == 0;
        } else {
            done = createIfStillMissing(dir.get(), scratchName, name);
        }
    }
    if (!done) {
        ::unlinkat(dir.get(), scratchName.constData(), 0);
        return false;
    }
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
