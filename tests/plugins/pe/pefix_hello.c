// An ordinary console program with the C runtime.
#include <stdio.h>

int main(void)
{
    printf("hello\n");
    return 0;
}
