// Plays the system's end of the session to the start-up program's hidden window, as Windows does
// at log-off: session_driver.exe query | cancel | end. "query" sends WM_QUERYENDSESSION and
// prints the answer (1 agrees, 0 refuses); "cancel" sends WM_ENDSESSION with FALSE (another
// program refused); "end" sends the query and, when it is agreed to, WM_ENDSESSION with TRUE.
// Exit status 0, 1 when no such window exists.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HWND window = FindWindowW(L"QorSessionWatch", nullptr);
    // The program may still be starting: give it a few seconds to make its window.
    for (int k = 0; window == nullptr && k < 100; ++k) {
        Sleep(50);
        window = FindWindowW(L"QorSessionWatch", nullptr);
    }
    if (window == nullptr) {
        std::fprintf(stderr, "session_driver: no window of class QorSessionWatch\n");
        return 1;
    }
    if (std::strcmp(argv[1], "cancel") == 0) {
        SendMessageW(window, WM_ENDSESSION, FALSE, 0);
        return 0;
    }
    const LRESULT agreed = SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
    std::printf("%d\n", agreed ? 1 : 0);
    std::fflush(stdout);
    if (std::strcmp(argv[1], "end") == 0 && agreed) SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    return 0;
}
