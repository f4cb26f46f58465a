# Test files left out of the Windows build (run under Wine by scripts/win.sh),
# each for what it needs that Windows does not have. Everything else runs
# there as on Linux.
set(DUNRAVEL_LINUX_ONLY_TESTS
  # FIFOs (mkfifo) as data files that must be refused without blocking.
  image/texture_test.cpp
  platform/platform_test.cpp
  # Runs the tools through popen and a POSIX shell.
  image/texture_info_test.cpp
  lightwave/corpus_test.cpp
  # fontconfig's choice of installed faces (font_win_test covers Windows).
  platform/font_test.cpp
  # Symbolic links, FIFOs, file modes and a full device.
  platform/output_file_test.cpp
  # Guard pages around buffers with mmap and mprotect.
  raster/share_test.cpp
  # Start the program through a POSIX shell, with signals, fork and waitpid;
  # under Wine the program itself is checked frame for frame instead.
  runtime/end_to_end_test.cpp
  runtime/golden_test.cpp
  runtime/offline_program_test.cpp
  runtime/offline_test.cpp
  # fmemopen for in-memory files.
  scenes/pipe_test.cpp
  # The data generator, built on Linux only.
  tools/datagen_test.cpp)
