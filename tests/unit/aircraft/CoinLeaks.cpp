// Leak checking in the sanitizer build: SoDB::init allocates a field that
// Coin never frees. Only that allocation is suppressed; our own leaks
// still fail the run (including in forked and death-test children).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:SoSFTime::createInstance\n";
}
