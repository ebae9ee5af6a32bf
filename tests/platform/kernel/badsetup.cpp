// A library without the setup hooks.
extern "C" __attribute__((visibility("default"))) int NotASetupHook() {
    return 1;
}
