/* A program that imports zlib1.dll, as tovren.exe once did: the import check must name it. */
#include <stdio.h>
#include <zlib.h>

int main(void) {
    printf("%s\n", zlibVersion());
    return 0;
}
