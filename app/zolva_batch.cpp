// zolva-batch: the headless front end.
#include "batch_main.h"

int main(int argc, char** argv) {
  return zolva::BatchMain(argc, argv);
}
