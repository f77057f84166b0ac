/* Leaks one block on purpose. Under the sanitized build this program must
 * fail (the test expects it to): proof that LeakSanitizer is really on
 * there, so a clean unit_tests run means no leak. */
#include <cstdio>
#include <cstdlib>

void *volatile sink;

int main()
{
    sink = malloc(64);
    sink = nullptr;
    puts("leaked 64 bytes");
    return 0;
}
