// Built into the mount tools only under the sanitizers. Samba's client library keeps some
// talloc memory of its logons until the process ends, which the leak checker would report at
// the exit of every tool that used it; memory our own code leaks is still reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtalloc.so\n";
}
