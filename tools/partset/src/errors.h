// Exit codes and the one exception type every command reports failures with.
#pragma once

#include <stdexcept>
#include <string>

namespace partset {

enum ExitCode : int {
    kExitOk = 0,
    kExitProblems = 1,     // verify found problems; join refused or could not rebuild
    kExitUsage = 2,        // bad arguments or option values
    kExitInput = 3,        // an input cannot be read
    kExitOutput = 4,       // the output cannot be written or is in the way
    kExitDoesNotFit = 5,   // the set cannot be laid out on the chosen media
    kExitInterrupted = 130,
};

class Error : public std::runtime_error {
public:
    Error(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

}  // namespace partset
