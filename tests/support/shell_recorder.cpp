#include "shell_recorder.h"

#include "decode/shell.h"

namespace cmpr_test {
namespace {
FILE *g_echo = nullptr;
}

std::vector<std::string> &shell_commands() {
    static std::vector<std::string> commands;
    return commands;
}

void echo_shell_to(FILE *stream) {
    g_echo = stream;
}

}  // namespace cmpr_test

void cmpr::hand_to_shell(const char *command) {
    cmpr_test::shell_commands().push_back(command);
    if (cmpr_test::g_echo != nullptr) std::fprintf(cmpr_test::g_echo, "[shell] %s\n", command);
}
