// catalogue_text <key>: writes the catalogue text of <key>, as the launcher
// would fetch it under the current thread locale, to standard output without
// formatting it. The tests format it themselves and compare with what the
// programs print.
#include "ui/catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: catalogue_text <key>\n");
        return 2;
    }
    char *text = GetLocalizedMessage(argv[1]);
    fwrite(text, 1, strlen(text), stdout);
    free(text);
    return 0;
}
