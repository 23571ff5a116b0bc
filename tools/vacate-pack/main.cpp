// vacate-pack: builds packed uninstallers and shows their scripts.
//   vacate-pack build <script.txt> <vacate.exe> <out.exe>
//   vacate-pack keygen <private key file>              (Windows build: signed updates)
//   vacate-pack sign <installer> <private key file> <product name> <version>
//   vacate-pack dump <packed.exe>
//   vacate-pack script <script.txt> <install.dat>
//   vacate-pack list <folder>                          (prints the folder's FILE LIST line)
#include <stdio.h>
#include <string.h>

#include <string>

#include "tessel/tsl-core.h"
#include "tools/vacate-pack/packsign.h"
#include "tools/vacate-pack/vacatepack.h"

static int Usage() {
    fprintf(stderr,
            "usage: vacate-pack build <script.txt> <vacate.exe> <out.exe>\n"
            "       vacate-pack keygen <private key file>\n"
            "       vacate-pack sign <installer> <private key file> <product name> <version>\n"
            "       vacate-pack dump <packed.exe>\n"
            "       vacate-pack script <script.txt> <install.dat>\n"
            "       vacate-pack list <folder>\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    int signExit = 0;
    if (PackSignCommand(argc, argv, &signExit)) return signExit;
    const char* command = argv[1];
    MemInit(0x7FFFFFFF);
    std::string error;
    std::string source;
    std::string line;  // the line `list` prints
    int done;
    if (strcmp(command, "build") == 0 && argc == 5)
        done = PackBuildFiles(argv[2], argv[3], argv[4], &error);
    else if (strcmp(command, "script") == 0 && argc == 4)
        done = PackScriptFiles(argv[2], argv[3], &error);
    else if (strcmp(command, "dump") == 0 && argc == 3)
        done = PackDump(argv[2], &source, &error);
    else if (strcmp(command, "list") == 0 && argc == 3)
        done = PackListFolder(argv[2], &line, &error);
    else
        return Usage();
    MemShutdown();
    if (!done) {
        fprintf(stderr, "vacate-pack: %s\n", error.c_str());
        return 1;
    }
    fputs(source.c_str(), stdout);
    if (!line.empty()) printf("%s\n", line.c_str());
    return 0;
}
