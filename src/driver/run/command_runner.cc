// The command runner: the one way the program runs a shell command with its echo.
// The shell itself is started by the platform layer.
#include <cstdio>

#include "console.h"
#include "platform/command_runner.h"

int do_command(const char* command) {
    if (held_output() != nullptr) {
        held_output()->console(std::string(command) + " \n");
    } else {
        printf("%s \n", command);
        fflush(stdout);
    }
    int code = run_shell(command);
    return code == -1 ? 255 : code;
}
