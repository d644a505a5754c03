/* The plain C stdio way of doing what diagfill does: fgets, sscanf, fprintf,
   two passes. The point of comparison for the benchmark. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    char s[1024], kw[1024];
    int size = 0, nnz = 0, row = 0, col = 0, prev_row = -1, pres_row = 0, row_flag = 0;
    double val = 0.0, *rowsum;
    FILE *ip, *op;
    if (argc != 3) return 2;
    if (!(ip = fopen(argv[1], "r"))) return 1;
    if (!fgets(s, sizeof s, ip)) return 1;
    sscanf(s, "%s%d", kw, &size);
    rowsum = calloc(size > 0 ? size : 1, sizeof *rowsum);
    fgets(s, sizeof s, ip);
    while (fgets(s, sizeof s, ip)) {
        sscanf(s, "%d%d%lf\n", &row, &col, &val);
        if (prev_row == -1 || row > prev_row) prev_row = row;
        if (prev_row >= 1 && prev_row <= size) rowsum[prev_row - 1] += val;
    }
    fclose(ip);
    printf("here\n");
    ip = fopen(argv[1], "r");
    op = fopen(argv[2], "w");
    if (!ip || !op) return 1;
    fgets(s, sizeof s, ip);
    sscanf(s, "%s%d", kw, &size);
    fprintf(op, "%s %d\n", kw, size);
    fgets(s, sizeof s, ip);
    sscanf(s, "%s%d", kw, &nnz);
    fprintf(op, "%s %d\n", kw, nnz);
    while (fgets(s, sizeof s, ip)) {
        sscanf(s, "%d%d%lf\n", &row, &col, &val);
        if (row > pres_row) { pres_row = row; row_flag = 0; }
        if (!row_flag && col >= row && row >= 1 && row <= size) {
            row_flag = 1;
            fprintf(op, "%d %d %lf\n", row, row, -rowsum[row - 1]);
        }
        fprintf(op, "%d %d %lf\n", row, col, val);
    }
    fclose(ip);
    fclose(op);
    printf("done: 1\n");
    return 0;
}
