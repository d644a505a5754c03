// Generates benchmark inputs on standard output.
//   gen tra ENTRIES STATES BASE [STYLE]   sorted transition file, ENTRIES / STATES entries a row;
//       STYLE mix (the default: %.17g, %.6f and short forms in turn), exponent (%.3e and %g of
//       small values, which write exponents) or g17 (%.17g alone)
//   gen listing STATES [wide]             state listing; wide: one field in 17 of two or three digits
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

static void transition_file(long entries, long states, int base, const char* style) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    long per_row = entries / states;
    std::printf("STATES %ld\nTRANSITIONS %ld\n", states, per_row * states);
    const char* short_forms[] = {"1", "0.5", "2e-3", ".25", "3"};
    for (long row = 0; row < states; ++row) {
        std::set<long> cols;
        while (static_cast<long>(cols.size()) < per_row) cols.insert(static_cast<long>(rng() % states));
        int turn = 0;
        for (long col : cols) {
            double v = unit(rng);
            long r = row + base, c = col + base;
            if (std::strcmp(style, "exponent") == 0) {
                if (turn++ % 2 == 0)
                    std::printf("%ld %ld %.3e\n", r, c, v * std::pow(10.0, -1.0 - static_cast<double>(rng() % 4)));
                else
                    std::printf("%ld %ld %g\n", r, c, v * std::pow(10.0, -5.0 - static_cast<double>(rng() % 3)));
                continue;
            }
            if (std::strcmp(style, "g17") == 0) {
                std::printf("%ld %ld %.17g\n", r, c, v);
                continue;
            }
            switch (turn++ % 3) {
                case 0: std::printf("%ld %ld %.17g\n", r, c, v); break;
                case 1: std::printf("%ld %ld %.6f\n", r, c, v); break;
                default: std::printf("%ld %ld %s\n", r, c, short_forms[rng() % 5]);
            }
        }
    }
}

static void listing(long states, bool wide) {
    std::mt19937_64 rng(43);
    for (long s = 0; s < states; ++s) {
        int f[11];
        for (int& x : f) x = wide && rng() % 17 == 0 ? static_cast<int>(10 + rng() % 990) : static_cast<int>(rng() % 4);
        std::printf("%ld:(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)\n", s, f[0], f[1], f[2], f[3], f[4], f[5], f[6],
                    f[7], f[8], f[9], f[10]);
    }
}

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "tra") == 0)
        transition_file(std::atol(argv[2]), std::atol(argv[3]), std::atoi(argv[4]), argc == 6 ? argv[5] : "mix");
    else if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "listing") == 0)
        listing(std::atol(argv[2]), argc == 4 && std::strcmp(argv[3], "wide") == 0);
    else
        return 2;
    return 0;
}
