// partset: cuts an installer into a set of parts for the launcher (SETUP.EXE)
// on floppy disks or in one directory, and inspects, verifies and joins sets.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "commands.h"
#include "errors.h"
#include "platform.h"

namespace {

const char kExitCodes[] =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the set has problems (verify), or join refused or could not rebuild it\n"
    "  2  bad arguments: unknown option, bad --disk, --part-size or --name\n"
    "  3  an input cannot be read: installer, launcher, part, image, or a path holds no parts\n"
    "  4  the output cannot be written, or is in the way (exists; --force replaces it)\n"
    "  5  the set does not fit: the launcher leaves no room on disk 1, or too many parts\n"
    "  130 interrupted\n";

uint64_t ParseBytes(const std::string& text, const char* option) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        throw partset::Error(partset::kExitUsage, std::string(option) + " " + text + ": expected a number of bytes");
    }
    return std::stoull(text);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace partset;
    InstallInterruptHandler();
#ifndef _WIN32
    // Images are read through mtools; a set's images need no drive entries.
    setenv("MTOOLS_SKIP_CHECK", "1", 0);
#endif

    CLI::App app{"partset: makes, inspects, verifies and joins the part sets SETUP.EXE installs from"};
    app.footer(kExitCodes);
    app.require_subcommand(1);

    SplitOptions split;
    std::string part_size;
    auto* split_cmd = app.add_subcommand(
        "split", "Cut INSTALLER into parts: DIR/disk1/{SETUP.EXE,FILE.1}, DIR/disk2/FILE.2, ... "
                 "(for cd: DIR/{SETUP.EXE,FILE.1,...})");
    split_cmd->add_option("INSTALLER", split.installer, "the installer executable")->required();
    split_cmd->add_option("--name", split.name, "application name the launcher shows (UTF-8; stored as Windows-1252, at most 259 bytes)")
        ->required();
    split_cmd->add_option("--out", split.out, "output directory")->required();
    split_cmd->add_option("--disk", split.disk,
                          "1.44M (default), 1.2M, 720K, 2.88M: FAT12 floppies; cd: one directory; "
                          "or usable BYTES per disk, counted in 512-byte clusters");
    split_cmd->add_option("--part-size", part_size, "most bytes of one part file, header included");
    split_cmd->add_option("--launcher", split.launcher,
                          "SETUP.EXE to put on disk 1 (default: ../win32/SETUP.EXE beside this program)");
    split_cmd->add_flag("--images", split.images, "also write disk1.img, disk2.img, ...: FAT12 images made with mtools");
    split_cmd->add_flag("--dry-run", split.dry_run, "print the plan (disks, bytes on each, bytes free); write nothing");
    split_cmd->add_flag("--force", split.force, "replace an existing non-empty DIR");

    std::vector<std::string> inspect_places;
    auto* inspect_cmd = app.add_subcommand("inspect", "List the parts in directories, part files or floppy images");
    inspect_cmd->add_option("PATH", inspect_places, "directory, FILE.n or image")->required();

    std::vector<std::string> verify_places;
    auto* verify_cmd = app.add_subcommand(
        "verify", "Check that the parts found make a whole, sound set; one line per problem, exit 1 if any");
    verify_cmd->add_option("PATH", verify_places, "directory, FILE.n or image")->required();

    JoinOptions join;
    auto* join_cmd = app.add_subcommand(
        "join", "Rebuild the installer as the launcher would: part n is the first FILE.n of the set in the PATHs given");
    join_cmd->add_option("PATH", join.places, "directory, FILE.n or image")->required();
    join_cmd->add_option("--out", join.out, "the installer to write")->required();
    join_cmd->add_flag("--force", join.force, "replace an existing FILE; join a set that does not verify");

    const std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::vector<const char*> arg_pointers;
    for (const auto& a : args) arg_pointers.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(arg_pointers.size()), arg_pointers.data());
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }

    try {
        if (split_cmd->parsed()) {
            if (!part_size.empty()) split.part_size = ParseBytes(part_size, "--part-size");
            return RunSplit(split);
        }
        if (inspect_cmd->parsed()) return RunInspect(inspect_places);
        if (verify_cmd->parsed()) return RunVerify(verify_places);
        if (join_cmd->parsed()) return RunJoin(join);
    } catch (const Error& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "partset: %s\n", e.what());
        return e.code();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "partset: %s\n", e.what());
        return kExitOutput;
    }
    return kExitUsage;
}
