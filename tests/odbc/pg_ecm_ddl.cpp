// Prints the statements that create an ECM library (a schema with the four tables) on PostgreSQL, for psql.
#include <cstdio>
#include <string>

#include "ecm/ddl.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
    return 2;
  }
  auto statements = EcmCreateStatements(SqlDialect::PostgreSQL, argv[1]);
  if (statements.empty()) {
    std::fprintf(stderr, "'%s' is not a valid library name\n", argv[1]);
    return 1;
  }
  for (const std::string& s : statements) std::printf("%s;\n", s.c_str());
  return 0;
}
