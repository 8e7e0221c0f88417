#include <cstdio>
#include <random>

#include "commands.h"
#include "cp1252.h"
#include "crc.h"
#include "errors.h"
#include "header.h"
#include "platform.h"
#include "layout.h"
#include "replace.h"

namespace partset {
namespace {

std::string EncodeName(const std::string& utf8) {
    if (utf8.empty()) throw Error(kExitUsage, "--name is empty; the launcher shows it while it works");
    std::string cp1252, error;
    if (!Utf8ToCp1252(utf8, &cp1252, &error)) throw Error(kExitUsage, "--name \"" + utf8 + "\" " + error);
    if (cp1252.size() > kMaxNameBytes) {
        throw Error(kExitUsage, "--name is " + std::to_string(cp1252.size()) + " bytes in Windows-1252; at most " +
                                    std::to_string(kMaxNameBytes) + " fit");
    }
    return cp1252;
}

fs::path LauncherPath(const SplitOptions& options) {
    const fs::path path = options.launcher ? PathFromUtf8(*options.launcher)
                                           : ExecutableDirectory() / ".." / "win32" / "SETUP.EXE";
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        if (options.launcher) throw Error(kExitInput, "--launcher " + *options.launcher + ": no such file");
        throw Error(kExitInput, "no launcher at " + PathToUtf8(path.lexically_normal()) +
                                    "; build SETUP.EXE (dist/win32) or name one with --launcher");
    }
    return path;
}

std::string DiskDirectory(uint32_t disk) { return "disk" + std::to_string(disk); }

void CopyWhole(const fs::path& from, const fs::path& to, std::vector<unsigned char>& buffer) {
    auto source = OpenFileSource(from);
    OutputFile out(to);
    for (size_t n; (n = source->Read(buffer.data(), buffer.size())) > 0;) out.Write(buffer.data(), n);
    out.Close();
}

void RunMtools(const std::vector<std::string>& argv) {
    const int rc = RunProgram(argv);
    if (rc == -1) throw Error(kExitOutput, "cannot run " + argv[0] + "; --images needs mtools");
    if (rc != 0) throw Error(kExitOutput, argv[0] + " failed (exit status " + std::to_string(rc) + ")");
}

// Writes the set into `root`, which exists and is empty.
void WriteSet(const Plan& plan, const std::string& name, const fs::path& installer, const fs::path& launcher,
              bool images, const fs::path& root) {
    const bool directory = plan.media.kind == Media::kDirectory;
    const uint32_t count = static_cast<uint32_t>(plan.parts.size());
    std::vector<unsigned char> buffer(kCopyBufferSize);
    std::vector<fs::path> part_paths;
    std::vector<uint32_t> crcs;
    uint32_t installer_crc = 0;
    Progress progress("split", plan.installer_length);

    auto input = OpenFileSource(installer);
    const Header placeholder{};
    for (const PlannedPart& part : plan.parts) {
        const fs::path dir = directory ? root : root / DiskDirectory(part.number);
        if (!directory) fs::create_directory(dir);
        if (part.number == 1) CopyWhole(launcher, dir / "SETUP.EXE", buffer);
        part_paths.push_back(dir / ("FILE." + std::to_string(part.number)));
        OutputFile out(part_paths.back());
        // The header needs every part's checksum; it is written once they are known.
        out.Write(placeholder.data(), placeholder.size());
        const CopyResult copy = CopyChecksummed(*input, out, part.payload, buffer, progress);
        if (copy.bytes != part.payload) {
            throw Error(kExitInput, PathToUtf8(installer) + " became shorter while it was read");
        }
        const uint32_t crc = copy.crc;
        out.Close();
        crcs.push_back(crc);
        installer_crc = Crc32Combine(installer_crc, crc, part.payload);
    }
    unsigned char probe;
    if (input->Read(&probe, 1) != 0) throw Error(kExitInput, PathToUtf8(installer) + " grew while it was read");

    Manifest manifest;
    manifest.set_id = RandomSetId();
    manifest.part_count = count;
    manifest.installer_length = plan.installer_length;
    manifest.installer_crc = installer_crc;
    manifest.first_payload = plan.parts[0].payload;
    manifest.middle_payload = count >= 3 ? plan.parts[1].payload : 0;
    manifest.part_crcs.assign(crcs.begin(), crcs.begin() + std::min<size_t>(crcs.size(), kManifestMaxPartCrcs));
    for (uint32_t k = 0; k < count; ++k) {
        const Header header = BuildHeader(name, manifest, k + 1 == count);
        OutputFile out(part_paths[k], OutputFile::kExisting);
        out.WriteAt(0, header.data(), header.size());
        out.Close();
    }

    if (images) {
        for (uint32_t k = 1; k <= count; ++k) {
            const fs::path image = root / (DiskDirectory(k) + ".img");
            RunMtools({"mformat", "-C", "-i", PathToUtf8(image), "-f", plan.media.mformat_size, "-v",
                       "DISK" + std::to_string(k), "::"});
            std::vector<std::string> copy = {"mcopy", "-i", PathToUtf8(image)};
            if (k == 1) copy.push_back(PathToUtf8(root / DiskDirectory(1) / "SETUP.EXE"));
            copy.push_back(PathToUtf8(part_paths[k - 1]));
            copy.push_back("::/");
            RunMtools(copy);
            ThrowIfInterrupted();
        }
    }
}

}  // namespace

int RunSplit(const SplitOptions& options) {
    const std::string name = EncodeName(options.name);
    std::string error;
    const auto media = ParseMedia(options.disk, &error);
    if (!media) throw Error(kExitUsage, error);
    if (options.part_size && *options.part_size <= kHeaderSize) {
        throw Error(kExitUsage, "--part-size must be more than 1024 bytes (a part's header alone is 1024)");
    }
    if (options.images && media->kind != Media::kFloppy) {
        throw Error(kExitUsage, "--images needs a floppy size: 1.44M, 1.2M, 720K or 2.88M");
    }
    const fs::path installer = PathFromUtf8(options.installer);
    std::error_code ec;
    if (!fs::is_regular_file(installer, ec)) throw Error(kExitInput, options.installer + ": no such file");
    const uint64_t installer_length = fs::file_size(installer, ec);
    if (ec) throw Error(kExitInput, options.installer + ": " + ec.message());
    const fs::path launcher = LauncherPath(options);
    const uint64_t launcher_length = fs::file_size(launcher, ec);
    if (ec) throw Error(kExitInput, PathToUtf8(launcher) + ": " + ec.message());

    const Plan plan = MakePlan(*media, installer_length, launcher_length, options.part_size);
    const fs::path out = PathFromUtf8(options.out);
    CheckReplaceable(out, options.force, /*directory=*/true);

    std::printf("%s", DescribePlan(plan, options.name).c_str());
    if (options.dry_run) {
        std::printf("dry run: nothing written\n");
        return kExitOk;
    }
    std::fflush(stdout);
    StagedOutput staged(out, /*directory=*/true);
    WriteSet(plan, name, installer, launcher, options.images, staged.path());
    staged.Commit(options.force);
    std::printf("written to %s\n", options.out.c_str());
    return kExitOk;
}

}  // namespace partset
