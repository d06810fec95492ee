// Prints, one "name=value" line each, in the ANSI code page:
//   exec     SetExecName's answer (or "(null)")
//   home     GetApplicationHome's answer
//   locale   GetLocale's answer
//   codepage the code page of the launcher's texts
//   title    GetTitle's answer
//   message  the catalogue text of the key given as the first argument
//            ("checking_java" by default), its line feed included
// Exit status 0 when SetExecName found a path, else 1.
#include "base/mbcs.h"
#include "product/product.h"
#include "ui/catalogue.h"
#include "ui/output.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const char *exec = SetExecName(argv[0]);
    const char *home = GetApplicationHome();
    printf("exec=%s\n", exec != nullptr ? exec : "(null)");
    printf("home=%s\n", home != nullptr ? home : "(null)");
    printf("locale=%s\n", GetLocale());
    printf("codepage=%u\n", LauncherCodePage());
    printf("title=%s\n", GetTitle());
    char *message = GetLocalizedMessage(argc > 1 ? argv[1] : "checking_java");
    printf("message=%s", message);
    free(message);
    fflush(stdout);
    return exec != nullptr ? 0 : 1;
}
