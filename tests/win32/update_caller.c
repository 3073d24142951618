/* plinth-update-caller.exe: an app's use of plinth/update.h, compiled as C89 with -pedantic so
 * that the header stays callable from plain C. Run from an installed app's folder, it checks for
 * an update, prints "check <result> <version>", and when one is available starts it with a
 * restart and prints "update <started>", then exits as an app would. */
#include <stdio.h>

#include "plinth/update.h"

int main(void) {
    char version[64];
    int checked = plinth_check_update(version, sizeof version);
    printf("check %d %s\n", checked, version);
    if (checked == PLINTH_UPDATE_AVAILABLE) printf("update %d\n", plinth_start_update(1));
    return 0;
}
