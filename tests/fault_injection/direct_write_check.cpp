// A download's pieces written to a file whose file system does not do direct I/O (the preloaded
// library refuses it as QUORVANE_REFUSE_DIRECT says): every piece still arrives whole, through
// the page cache, and the file is left without O_DIRECT. Exits 0 when so, else 1 with the reason.
// Usage: direct_write_check FOLDER   (made when missing)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/platform/atomic_file.h"
#include "updater/direct_write.h"

using namespace Quorvane;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // A folder of its own: the two refusals run side by side.
  mkdir(argv[1], 0700);
  const std::string path = std::string(argv[1]) + "/download";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return 2;
  Updater::WriteDirectly(fd);
  // Two whole pieces and a short last one, as a download of 2.5 MiB arrives.
  std::string expected;
  off_t offset = 0;
  for (const std::size_t size : {Updater::FilePiece::kBytes, Updater::FilePiece::kBytes,
                                 Updater::FilePiece::kBytes / 2 + 17}) {
    Updater::FilePiece piece(Updater::FilePiece::kCapacity);
    piece.Resize(size);
    for (std::size_t at = 0; at < size; ++at) {
      piece.Data()[at] = static_cast<std::uint8_t>((at * 7 + expected.size()) % 251);
    }
    if (const int error = Updater::WritePiece(fd, piece, offset)) {
      std::fprintf(stderr, "direct_write_check: a piece failed: %s\n", std::strerror(error));
      return 1;
    }
    expected.append(piece.View());
    offset += static_cast<off_t>(size);
  }
  const bool stillDirect = (fcntl(fd, F_GETFL) & O_DIRECT) != 0;
  close(fd);
  std::error_code error;
  if (Platform::ReadWholeFile(path, error) != expected) {
    std::fprintf(stderr, "direct_write_check: the file does not hold the pieces\n");
    return 1;
  }
  if (stillDirect) {
    std::fprintf(stderr, "direct_write_check: the file still asks for direct writes\n");
    return 1;
  }
  std::printf("direct_write_check: %zu bytes written whole through the page cache\n",
              expected.size());
  return 0;
}
