// Stand-ins for what cannot run here, chosen by the name the program is started under:
//   gpg       a gpg that never finishes (to test the time limit and stopping);
//   anything else: a terminal emulator (there is no display) that writes to the file named by
//             STAND_IN_LOG its arguments, its folder and the variables the batch set, then ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const std::string name = argv[0];
    if (name.ends_with("/gpg")) {
        ::sleep(60);
        return 0;
    }
    const char* logPath = std::getenv("STAND_IN_LOG");
    if (!logPath)
        return 3;
    FILE* log = std::fopen(logPath, "w");
    if (!log)
        return 4;
    for (int i = 1; i < argc; ++i)
        std::fprintf(log, "arg=%s\n", argv[i]);
    char folder[4096];
    std::fprintf(log, "cwd=%s\n", ::getcwd(folder, sizeof folder) ? folder : "?");
    for (const char* variable : {"GNUPGHOME", "FOO", "GONE", "PATH", "PGPPASS", "TZ"}) {
        const char* value = std::getenv(variable);
        std::fprintf(log, "%s=%s\n", variable, value ? value : "(unset)");
    }
    std::fclose(log);
    return 0;
}
