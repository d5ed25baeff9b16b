// A terminal property editor over a scene file.
//
//   inspector [scene.xml]      the bundled sample scene by default
//
// Commands come from standard input, typed at a prompt or piped in (then
// each is echoed before its output); 'help' lists them. The exit status is 0
// after the session, 1 when the scene cannot be loaded, 2 for a wrong call.

#include "examples/inspector/inspector.hpp"

#include <unistd.h>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::cerr << "usage: " << argv[0] << " [scene.xml]\n";
        return 2;
    }
    const std::string file = argc == 2 ? argv[1] : INSPECTOR_SAMPLE_SCENE;
    inspector::Inspector session(std::cout);
    if (!session.load(file))
        return 1;
    const bool interactive = isatty(STDIN_FILENO);
    if (interactive)
        std::cout << "Type 'help' for the commands.\n";
    std::string line;
    while (!session.finished()) {
        if (interactive)
            std::cout << "inspector> " << std::flush;
        if (!std::getline(std::cin, line))
            break;
        if (!interactive && !line.empty() && line.front() != '#')
            std::cout << "> " << line << '\n';
        session.execute(line);
        std::cout.flush();
    }
    return 0;
}
