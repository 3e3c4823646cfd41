// kestrel: the command-line tool for the files and the card of a Kestrel
// device.
#include "tools/interrupt.h"
#include "tools/tool.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    kestrel::cli::catchInterrupts();
    return kestrel::cli::runTool(std::vector<std::string>(argv + 1, argv + argc));
}
