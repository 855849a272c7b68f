// varnolde-script: runs clerk scripts on the advances panel without a screen
// (docs/clerk-scripts.md).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "script/tool.h"

int main(int argc, char** argv) {
  try {
    return varnolde::script::RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                     std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "varnolde-script: " << error.what() << '\n';
    return varnolde::script::kExitScriptError;
  }
}
