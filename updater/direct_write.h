// Writing a download's pieces to its file. Pieces go straight to the disk (direct I/O) where the
// file system takes it: a download of a gigabyte then costs no copy into the page cache and does
// not push the user's cached files out of it. Where it does not, or for a piece whose size or
// place the disk cannot take directly (the last piece of a file), the file is written through the
// page cache from there on, its writeback started at once so the sync at the end is short.
#pragma once

#include <sys/types.h>

#include "updater/file_piece.h"

namespace Quorvane::Updater {

// Asks for direct writes on a file just opened; where its file system cannot do them, the file
// stays as it is.
void WriteDirectly(int fd);

// Writes the piece at `offset`; the error number of a failure, else 0.
int WritePiece(int fd, const FilePiece& piece, off_t offset);

}  // namespace Quorvane::Updater
