#include "qvhost/qvhost.h"

#include <iostream>

#ifdef _WIN32
#include <io.h>
#define QV_ISATTY _isatty
#else
#include <unistd.h>
#define QV_ISATTY isatty
#endif

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return qvhost::run(args, std::cout, std::cerr, qvhost::default_module(argc > 0 ? argv[0] : "qvhost"),
                       QV_ISATTY(2) != 0);
}
