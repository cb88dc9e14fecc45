// SPDX-License-Identifier: MIT
// Wine's desktop for a whole run of the Windows tests (scripts/windows starts it before the
// first test program and ends it after the last).
//
// Wine closes its desktop, and ends the explorer.exe that owns it, one second after the
// last program on it ends; the next program starts another. A test program that starts
// while the old desktop goes away cannot create its windows, or never starts at all, and
// which test meets that depends on the machine's load. As long as this program runs, the
// desktop has a user, so every test program of the run finds the same one.
//
//   winedesktop.exe FILE        writes the desktop's owner (its Windows process id and start
//                               time: ids come again in a new wineserver) and the X display
//                               to FILE, and ends: one desktop for the run means the same
//                               line in every such report
//   winedesktop.exe FILE hold   writes the same, then holds the desktop until it is ended

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    // The first call of a program for its desktop makes it its user, and starts the desktop's
    // explorer.exe when there is none yet.
    const HWND desktop = GetDesktopWindow();
    DWORD owner = 0;
    if (desktop == nullptr || GetWindowThreadProcessId(desktop, &owner) == 0) {
        return 1;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner);
    FILETIME started{};
    FILETIME unused[3]{};
    const bool timed = process != nullptr &&
                       GetProcessTimes(process, &started, &unused[0], &unused[1], &unused[2]);
    if (process != nullptr) {
        CloseHandle(process);
    }
    if (!timed) {
        return 1;
    }
    FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr) {
        return 1;
    }
    const char* display = std::getenv("DISPLAY");
    const unsigned long long start =
        (static_cast<unsigned long long>(started.dwHighDateTime) << 32U) | started.dwLowDateTime;
    std::fprintf(report, "%lu@%llu %s\n", static_cast<unsigned long>(owner), start,
                 display != nullptr ? display : "-");
    if (std::fclose(report) != 0) {
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
        Sleep(INFINITE);
    }
    return 0;
}
