// Entry point: hands the command line to the entry procedure.
int main() { return 0; }
