/* The plain C stdio way of doing what minmark does: fgets, sscanf, fprintf.
   The point of comparison for the benchmark. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    char s[1024];
    int size, k, st = 0, f[11] = {0}, i;
    char *marks;
    FILE *ip, *op;
    if (argc != 5) return 2;
    size = atoi(argv[1]);
    k = atoi(argv[2]);
    marks = calloc(size > 0 ? size : 1, 1);
    if (!(ip = fopen(argv[3], "r"))) return 1;
    while (fgets(s, sizeof s, ip)) {
        sscanf(s, "%d:(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)", &st, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6],
               &f[7], &f[8], &f[9], &f[10]);
        if (st >= 0 && st < size &&
            ((f[0] >= k && f[8]) || (f[2] >= k && (f[10] & 1)) ||
             ((long long)f[0] + f[2] >= k && f[8] && f[6] && f[10])))
            marks[st] = 1;
    }
    fclose(ip);
    op = fopen(argv[4], "w");
    if (!op) return 1;
    fprintf(op, "#DECLARATION\nminimum\n#END\n");
    for (i = 0; i < size; i++)
        if (marks[i]) fprintf(op, "%d  minimum\n", i + 1);
    fclose(op);
    printf("done: %d\n", size);
    return 0;
}
