// SPDX-License-Identifier: MIT
// Every bound on what reading a register description may cost, each with the reason for its value.
#pragma once

#include <QtGlobal>

// What a description may expand to, in the characters of the names and labels its registers and
// fields make (a label counting the name of its set too, which the file writes with it), each
// name or label counting svdInstanceCost more. The largest real descriptions make about 25 million
// (about 10 MB of label file); beyond it is an error, so that a few bytes of <dim> or of a long
// name cannot cost minutes and gigabytes.
inline constexpr qint64 maxSvdExpansion = qint64(64) * 1024 * 1024;
inline constexpr qint64 svdInstanceCost = 32;

namespace svd {

// Deeper clusters than this are left out: no device nests them so, and the reader and the
// expansion recurse once per level.
inline constexpr int maxClusterDepth = 32;
// A longer derivedFrom chain is taken for a circular one.
inline constexpr int maxDerivation = 8;
// Beyond this a number is no bit position, array size or index any description could mean.
inline constexpr qint64 maxNumber = qint64(1) << 40;
// Beyond a screenful of screenfuls nobody reads the notes, and a large array would otherwise
// cost more in these lines than in its registers.
inline constexpr qsizetype maxSkippedLines = 10000;
// What the entities of a document's own DTD may expand to, all references together, in
// characters: no description needs more, and a few bytes of references to a long entity would
// otherwise cost gigabytes of text that nothing reads.
inline constexpr qint64 maxEntityExpansion = qint64(4) * 1024 * 1024;
// What one reference may expand to (the reader refuses more), nested references included.
inline constexpr int maxEntityLength = 4096;

} // namespace svd
