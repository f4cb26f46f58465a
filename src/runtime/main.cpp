// Entry point (placeholder until the runtime lands).
int main() { return 0; }
