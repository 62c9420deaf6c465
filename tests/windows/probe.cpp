// The 32-bit Windows probe: a console program that only says it ran. If wine
// cannot start 32-bit programs on this machine, the line never appears.
#include <cstdio>

int main() {
    std::printf("32-bit Windows program runs (%u-byte pointers)\n", static_cast<unsigned>(sizeof(void*)));
    return sizeof(void*) == 4 ? 0 : 1;
}
