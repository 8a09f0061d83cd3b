// Stands in for a new release in the self-update test: leaves a mark in the folder it
// was started in, so the test sees that the replacement script started it.
#include <cstdio>
#include <fstream>

int main(int /*argc*/, char** argv) {
  // Written under another name first, so the test never sees the mark half written.
  std::ofstream("started-mark.tmp") << "started as " << argv[0] << "\n";
  return std::rename("started-mark.tmp", "started-mark") == 0 ? 0 : 1;
}
