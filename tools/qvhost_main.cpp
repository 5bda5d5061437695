#include "tools/qvhost.h"

#include <iostream>

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return qvhost::run(args, std::cout, std::cerr, qvhost::module_beside(argv[0]));
}
