// Placeholder entry until the Linux desktop lands.
int main() { return 1; }
