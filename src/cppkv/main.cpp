// cppkv: the C preprocessor.
int main() { return 0; }
