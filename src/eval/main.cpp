// holescan-eval: how well the calibrated analysis finds the holes of pictures with truth files.
#include "eval/run.h"

int main(int argc, char** argv) {
  return holescan::eval::EvalMain(argc, argv);
}
