#pragma once

// The launcher's whole job once its dialog is up: creates the temporary
// installer, has it deleted at the next restart, rebuilds it from the parts
// and starts it. partPath: a writable kPathBufferSize buffer with the path of
// part 1, rewritten by the assembly.
void PrepareAndLaunchInstaller(char* partPath);

// Starts the installer at installerPath by its short path, with the Windows
// directory as current directory. Does not wait for it.
void LaunchInstaller(const char* installerPath);
