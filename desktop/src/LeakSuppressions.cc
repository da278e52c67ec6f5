// Fontconfig, reached through cairo's default font, keeps a few allocations
// it never frees. LeakSanitizer consults this hook at start-up; naming the
// library keeps every leak of our own code reported.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
