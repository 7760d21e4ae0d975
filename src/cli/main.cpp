// main.cpp - holescan-cli: the shot-hole analysis of the window, without a window.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "io/qt/picture_loader.h"

int main(int argc, char* argv[]) {
  holescan::ConfigurePictureReading();
  return holescan::cli::Run(std::vector<std::string>(argv + 1, argv + argc));
}
