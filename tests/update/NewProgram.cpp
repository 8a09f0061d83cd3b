// Stands in for a new release in the self-update test: leaves a mark in the folder it
// was started in, so the test sees that the replacement script started it.
#include <fstream>

int main(int /*argc*/, char** argv) {
  std::ofstream("started-mark") << "started as " << argv[0] << "\n";
  return 0;
}
