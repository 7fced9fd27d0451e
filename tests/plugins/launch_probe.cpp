// Started by the launcher tests: writes how it was started into the file named by its last
// argument ("<file>.part" first, then renamed, so that a reader never sees half of it).
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    std::string file = argv[argc - 1];
    std::string part = file + ".part";
    FILE* f = std::fopen(part.c_str(), "w");
    if (!f) return 1;
    std::fprintf(f, "argc %d\n", argc);
    for (int i = 1; i < argc; ++i) std::fprintf(f, "arg%d %s\n", i, argv[i]);
    std::fprintf(f, "own group %d\n", getpgrp() == getpid() ? 1 : 0);
    std::fprintf(f, "pid %d\n", static_cast<int>(getpid()));
    std::fclose(f);
    return std::rename(part.c_str(), file.c_str()) == 0 ? 0 : 1;
}
