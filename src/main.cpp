// KTLaunch: the launcher and preferences editor of Karthos.
#include "configfile.h"

int main() {
    // Until the window exists, a run loads the preferences and writes them back in
    // their normalised layout.
    if (config_init()) config_save();
    config_shut();
    return 0;
}
