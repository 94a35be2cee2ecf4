// Entry point: hands the arguments to the entry procedure.
#include <string>
#include <vector>

#include "app/entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return nx::run_program(args, nullptr);
}
