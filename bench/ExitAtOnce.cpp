// A mount and unmount tool that succeeds at once, so that a benchmark sees the engine's own cost.
int main() {
    return 0;
}
