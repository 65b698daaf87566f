// Unpacks one archive with the program's unpacker and prints how long the unpacking took and
// how much memory the process used at its peak.
//
//     unpack_bench <archive.zip> <destination folder>

#include "app/deploy.h"
#include "winbase/text.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: unpack_bench <archive.zip> <destination folder>\n");
        return 2;
    }
    PROCESS_MEMORY_COUNTERS before{};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));

    int entries = 0;
    quarnel::ZipUnpacker unpacker;
    unpacker.on_progress = [&](const quarnel::UnpackProgress& p) { entries = p.done; };
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int result = unpacker.unpack_archive(quarnel::win::ansi_to_wide(argv[1]), quarnel::win::ansi_to_wide(argv[2]));
    QueryPerformanceCounter(&end);

    PROCESS_MEMORY_COUNTERS after{};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    std::printf("result=%d entries=%d seconds=%.3f working_set_before_kb=%lu peak_working_set_kb=%lu\n", result,
                entries, double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart),
                static_cast<unsigned long>(before.WorkingSetSize / 1024),
                static_cast<unsigned long>(after.PeakWorkingSetSize / 1024));
    return result == 1 ? 0 : 1;
}
