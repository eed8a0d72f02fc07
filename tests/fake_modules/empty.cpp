// A loadable library that offers neither cipher entry.
extern "C" __attribute__((visibility("default"))) int not_a_cipher() {
    return 0;
}
