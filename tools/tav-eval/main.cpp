// Headless runner: evaluates a script file or -e text with print output on stdout.
int main() { return 0; }
