// Generates benchmark inputs on standard output.
//   gen tra ENTRIES STATES BASE   sorted transition file, ENTRIES / STATES entries a row
//   gen listing STATES            state listing
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

static void transition_file(long entries, long states, int base) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    long per_row = entries / states;
    std::printf("STATES %ld\nTRANSITIONS %ld\n", states, per_row * states);
    const char* short_forms[] = {"1", "0.5", "2e-3", ".25", "3"};
    for (long row = 0; row < states; ++row) {
        std::set<long> cols;
        while (static_cast<long>(cols.size()) < per_row) cols.insert(static_cast<long>(rng() % states));
        int style = 0;
        for (long col : cols) {
            double v = unit(rng);
            switch (style++ % 3) {
                case 0: std::printf("%ld %ld %.17g\n", row + base, col + base, v); break;
                case 1: std::printf("%ld %ld %.6f\n", row + base, col + base, v); break;
                default: std::printf("%ld %ld %s\n", row + base, col + base, short_forms[rng() % 5]);
            }
        }
    }
}

static void listing(long states) {
    std::mt19937_64 rng(43);
    for (long s = 0; s < states; ++s) {
        int f[11];
        for (int& x : f) x = static_cast<int>(rng() % 4);
        std::printf("%ld:(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)\n", s, f[0], f[1], f[2], f[3], f[4], f[5], f[6],
                    f[7], f[8], f[9], f[10]);
    }
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "tra") == 0)
        transition_file(std::atol(argv[2]), std::atol(argv[3]), std::atoi(argv[4]));
    else if (argc == 3 && std::strcmp(argv[1], "listing") == 0)
        listing(std::atol(argv[2]));
    else
        return 2;
    return 0;
}
