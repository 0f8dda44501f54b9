// Linked with the compiler's runtime DLLs on purpose: the import check must flag it.
#include <iostream>
#include <string>

int main(int ACount, char**) {
  std::cout << std::string(static_cast<std::size_t>(ACount), '.') << '\n';
  return 0;
}
