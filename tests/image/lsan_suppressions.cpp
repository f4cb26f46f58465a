// LeakSanitizer suppressions for the image tests: fontconfig loses a few
// hundred bytes while parsing its configuration files (inside FcInit, once
// per process); that block is not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
