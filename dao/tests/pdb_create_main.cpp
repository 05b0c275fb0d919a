// dao_create_pdb <path> <password>: makes a password database file with the
// sample groups through the program's build of the wrappers.
#include <cstdio>
#include <exception>

#include "CvDAO35.h"
#include "pdb_schema.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: dao_create_pdb <path> <password>\n", stderr);
    return 2;
  }
  try {
    daotest::createPasswordDatabase(argv[1], argv[2], true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  if (DAOLiveObjects() != 0) {
    std::fprintf(stderr, "%d wrappers left alive\n", static_cast<int>(DAOLiveObjects()));
    return 1;
  }
  return 0;
}
