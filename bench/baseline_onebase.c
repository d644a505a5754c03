/* The plain C stdio way of doing what onebase does: fgets, sscanf, fprintf.
   The point of comparison for the benchmark. */
#include <stdio.h>

int main(int argc, char **argv) {
    char s[1024], kw[1024];
    int size = 0, nnz = 0, row = 0, col = 0;
    double val = 0.0;
    FILE *ip, *op;
    if (argc != 3) return 2;
    ip = fopen(argv[1], "r");
    op = fopen(argv[2], "w");
    if (!ip || !op) return 1;
    if (fgets(s, sizeof s, ip)) {
        sscanf(s, "%s%d", kw, &size);
        fprintf(op, "%s %d\n", kw, size);
        if (fgets(s, sizeof s, ip)) {
            sscanf(s, "%s%d", kw, &nnz);
            fprintf(op, "%s %d\n", kw, nnz);
            while (fgets(s, sizeof s, ip)) {
                sscanf(s, "%d%d%lf\n", &row, &col, &val);
                fprintf(op, "%d %d %lf\n", row + 1, col + 1, val);
            }
        }
    }
    fclose(ip);
    fclose(op);
    printf("done: 1\n");
    return 0;
}
