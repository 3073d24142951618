/* plinth-update-caller.exe: an app's use of plinth/update.h, compiled as C89 with -pedantic so
 * that the header stays callable from plain C. Run from an installed app's folder, it checks for
 * an update, prints "check <result> <version>", and when one is available starts it with a
 * restart and prints "update <started>", then exits as an app would. With an argument, it asks
 * that feed (another channel's) instead of the manifest's. */
#include <stdio.h>

#include "plinth/update.h"

int main(int argc, char** argv) {
    char version[64];
    wchar_t feed[1024];
    const wchar_t* channel = NULL;
    int checked;
    if (argc > 1 && MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, feed, 1024) > 0) channel = feed;
    checked = plinth_check_update_from(channel, version, sizeof version);
    printf("check %d %s\n", checked, version);
    if (checked == PLINTH_UPDATE_AVAILABLE) printf("update %d\n", plinth_start_update_from(channel, 1));
    return 0;
}
