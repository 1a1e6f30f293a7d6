// A small program the platform tests start as a real child process.
//   echo <exit code> <args...>  prints its working directory and each argument on stdout, one
//                               line on stderr, and exits with the code
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "echo") == 0) {
    char cwd[4096] = {};
    std::printf("cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
    for (int index = 3; index < argc; ++index) {
      std::printf("arg=[%s]\n", argv[index]);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "to standard error\n");
    return std::atoi(argv[2]);
  }
  std::fprintf(stderr, "usage: platform_test_helper echo CODE ARGS...\n");
  return 2;
}
