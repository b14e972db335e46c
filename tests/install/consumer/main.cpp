// A program outside the tree that uses the installed library through its umbrella header.
#include <sigilbox/sigilbox.h>

#include <cstdio>

int main()
{
    CHugeDigit a(7UL), b(6UL);
    CHugeDigit p = a * b;
    const unsigned char der[] = {0x02, 0x01, 0x05};
    CDEREncoding enc(der, sizeof der);
    if (p[0] != 42 || AfxGetTagClassAndNumber(enc) != 0x02)
        return 1;
    CString s("consumer ok");
    std::printf("%s\n", (const char*)s);
    return 0;
}
