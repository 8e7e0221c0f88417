// Measures AssembleParts against the fastest loop the launcher's 1 KiB copy
// buffer allows: the same parts, the same 1 KiB ReadFile/WriteFile calls, no
// checks and no prompts. Run under wine64 (or on Windows).
//
// usage: assembly_bench DIR [installer-MiB] [parts] [runs]
// Writes DIR\FILE.1..N (one directory, so no prompt is ever shown), then
// prints one line per method: median seconds, MiB/s, and each run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assembly/assemble_parts.h"

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Fail(const char* what)
{
    std::fprintf(stderr, "assembly_bench: %s (error %lu)\n", what, GetLastError());
    std::exit(2);
}

std::string PartPath(const std::string& dir, int number)
{
    return dir + "\\FILE." + std::to_string(number);
}

void WriteSet(const std::string& dir, size_t installerBytes, int parts)
{
    std::vector<unsigned char> header(kPartHeaderSize, 0);
    std::snprintf(reinterpret_cast<char*>(header.data()), kNameFieldSize, "Benchmark set");
    size_t slice = (installerBytes + parts - 1) / parts;
    std::vector<unsigned char> chunk(1 << 20);
    unsigned state = 12345;
    size_t left = installerBytes;
    for (int n = 1; n <= parts; ++n) {
        header[kLastPartFlagOffset] = n == parts ? 1 : 0;
        HANDLE file = CreateFileA(PartPath(dir, n).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Fail("cannot create a part");
        DWORD put;
        WriteFile(file, header.data(), kPartHeaderSize, &put, nullptr);
        size_t payload = std::min(slice, left);
        left -= payload;
        while (payload > 0) {
            size_t now = std::min(payload, chunk.size());
            for (size_t i = 0; i < now; ++i) {
                state = state * 1103515245u + 12345u;
                chunk[i] = static_cast<unsigned char>(state >> 16);
            }
            if (!WriteFile(file, chunk.data(), static_cast<DWORD>(now), &put, nullptr)) {
                Fail("cannot write a part");
            }
            payload -= now;
        }
        CloseHandle(file);
    }
}

HANDLE CreateOutput(const std::string& path)
{
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (out == INVALID_HANDLE_VALUE) Fail("cannot create the output");
    return out;
}

double TimeAssembleParts(const std::string& dir, const std::string& outPath)
{
    char partPath[kPathBufferSize];
    std::snprintf(partPath, sizeof partPath, "%s", PartPath(dir, 1).c_str());
    unsigned char* buffer = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, kCopyBufferSize));
    HANDLE out = CreateOutput(outPath);
    double start = Now();
    AssemblyOutcome outcome = AssembleParts(partPath, out, buffer);
    double elapsed = Now() - start;
    CloseHandle(out);
    LocalFree(buffer);
    if (outcome != Completed) Fail("AssembleParts did not complete");
    return elapsed;
}

// The floor: what 1 KiB reads and writes of the same payloads cost at best.
double TimeBareLoop(const std::string& dir, int parts, const std::string& outPath)
{
    unsigned char buffer[kCopyBufferSize];
    HANDLE out = CreateOutput(outPath);
    double start = Now();
    for (int n = 1; n <= parts; ++n) {
        HANDLE part = CreateFileA(PartPath(dir, n).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                  nullptr);
        if (part == INVALID_HANDLE_VALUE) Fail("cannot open a part");
        DWORD got = 0;
        ReadFile(part, buffer, kPartHeaderSize, &got, nullptr);
        while (ReadFile(part, buffer, sizeof buffer, &got, nullptr) && got != 0) {
            DWORD put;
            WriteFile(out, buffer, got, &put, nullptr);
        }
        CloseHandle(part);
    }
    double elapsed = Now() - start;
    CloseHandle(out);
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void Report(const char* method, const std::vector<double>& runs, double mebibytes)
{
    double median = Median(runs);
    std::printf("%-14s median %.3f s  %.1f MiB/s  runs:", method, median, mebibytes / median);
    for (double r : runs) std::printf(" %.3f", r);
    std::printf("\n");
}

bool SameFiles(const std::string& a, const std::string& b)
{
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (same) {
        size_t na = std::fread(x.data(), 1, x.size(), fa);
        size_t nb = std::fread(y.data(), 1, y.size(), fb);
        same = na == nb && std::equal(x.begin(), x.begin() + na, y.begin());
        if (na == 0) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: assembly_bench DIR [installer-MiB] [parts] [runs]\n");
        return 2;
    }
    std::string dir = argv[1];
    int mebibytes = argc > 2 ? std::atoi(argv[2]) : 64;
    int parts = argc > 3 ? std::atoi(argv[3]) : 45;
    int runs = argc > 4 ? std::atoi(argv[4]) : 7;
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteSet(dir, static_cast<size_t>(mebibytes) << 20, parts);

    std::string assembled = dir + "\\assembled.bin";
    std::string bare = dir + "\\bare.bin";
    std::vector<double> assembleRuns, bareRuns;
    // Interleaved, so that a slow stretch of the machine hits both alike.
    for (int r = 0; r < runs; ++r) {
        assembleRuns.push_back(TimeAssembleParts(dir, assembled));
        bareRuns.push_back(TimeBareLoop(dir, parts, bare));
    }
    if (!SameFiles(assembled, bare)) Fail("AssembleParts and the bare loop disagree");
    Report("AssembleParts", assembleRuns, mebibytes);
    Report("bare-1KiB-loop", bareRuns, mebibytes);
    std::printf("ratio %.3f\n", Median(assembleRuns) / Median(bareRuns));
    return 0;
}
