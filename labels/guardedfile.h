// SPDX-License-Identifier: MIT
// Reading the label file once, with its identity, and replacing exactly that file or nothing.
#pragma once

#include "labelfile.h"

#include <QByteArray>
#include <QString>

enum class GuardedRead {
    Missing, // nothing there; file->target is where it would be created
    Read, // a regular file, read whole into bytes; file->target and its identity are set
    Failed, // anything else: a dangling link, not a regular file, too large, unreadable
};

// Resolves path's symbolic links once and reads the regular file there whole. Sets file->path,
// file->target and the identity fields; leaves file->state and file->bytes alone.
GuardedRead readGuarded(const QString &path, LabelFileText *file, QByteArray *bytes);

// Asks for the pages of a large buffer just made to be 2 MiB each where the system offers that:
// filled 4 KiB at a time, each page is a fault of its own. Does nothing elsewhere.
void adviseHugePages(QByteArray *bytes);

// Creates file.target with bytes when file is Missing and the target is still missing; replaces
// it when file is Empty or Text, the target is still the file that was read and its metadata
// can be carried over. On any failure the old file stays as it was and nothing is left beside it.
// The program's writers take turns for the final check and the rename (on Unix, a lock on the
// directory, waited for at most two seconds: then the write is refused).
bool writeGuarded(const LabelFileText &file, const QByteArray &bytes);

// The steps of a write on Unix, in their order. Named comes where the new file gets its first
// name (the target's, for a missing file, or a scratch name beside an existing one), Renamed
// after the rename over an existing file.
enum class GuardedWriteStep {
    ScratchCreated,
    Written,
    MetadataCopied,
    Synced,
    BeforeCheck, // where setLabelFileWriteHook's hook runs too, before the directory lock
    LockBusy, // another writer holds the lock: once, before the wait for it
    Locked,
    Named,
    Renamed,
};

// For tests only: called at each step of a write, to stop or disturb it there.
void setGuardedWriteStepHook(std::function<void(GuardedWriteStep)> hook);

// For tests only: gives the scratch file its name from the start, as where the file system has no
// unnamed files.
void setGuardedWriteNamedScratch(bool named);
