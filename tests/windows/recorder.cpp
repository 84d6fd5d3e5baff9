// Stands in for the commands that end the session and for the programs a file association
// starts: appends its words after LOG as one line to LOG and exits with the number that the file
// STATUS holds (0 when it is missing). recorder.exe LOG STATUS WORD...
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (FILE* log = std::fopen(argv[1], "ab")) {
        for (int k = 3; k < argc; ++k)
            std::fprintf(log, k > 3 ? " %s" : "%s", argv[k]);
        std::fputc('\n', log);
        std::fclose(log);
    }
    int status = 0;
    if (FILE* in = std::fopen(argv[2], "rb")) {
        if (std::fscanf(in, "%d", &status) != 1) status = 0;
        std::fclose(in);
    }
    return status;
}
