// Re-evaluates stored raw-data files from the command line.
#include <cstdio>

int main() {
    std::fputs("korvat-eval: not built yet\n", stderr);
    return 2;
}
