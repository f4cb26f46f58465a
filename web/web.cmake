# The web page build (emcmake): the whole program compiled to WebAssembly with
# the browser variants of the platform layer, video output and frame loop
# (*_web.cpp), the libraries from the sysroot that scripts/web.sh builds, and
# the font and the data set put into the page's file system. Output in the
# build folder: index.html, index.js, index.wasm, index.data (the font: all
# the loading screen needs) and demo.data with its loader demo.js (the data
# set, which the page fetches while the loading screen already runs).
set(DUNRAVEL_WEB_SYSROOT "" CACHE PATH "Prefix of the libraries compiled with emcc")
set(DUNRAVEL_WEB_DATA "${CMAKE_SOURCE_DIR}/data" CACHE PATH "The data set preloaded into the page")
set(DUNRAVEL_WEB_FONT "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
    CACHE FILEPATH "The font the page draws its captions with")
if(NOT EXISTS "${DUNRAVEL_WEB_SYSROOT}/lib/libmpg123.a")
  message(FATAL_ERROR "no libraries in DUNRAVEL_WEB_SYSROOT (${DUNRAVEL_WEB_SYSROOT}): run scripts/web.sh")
endif()
if(NOT EXISTS "${DUNRAVEL_WEB_FONT}")
  message(FATAL_ERROR "the font ${DUNRAVEL_WEB_FONT} is missing (Debian package fonts-liberation)")
endif()

# Same arithmetic as the native build: no contraction, no fast-math. The
# SSE2 integer routines run on WebAssembly SIMD through emscripten's headers.
add_compile_options(-Wall -Wextra -Wno-ignored-attributes -msimd128 -msse2 -ffp-contract=off
                    "SHELL:-include ${CMAKE_SOURCE_DIR}/web/compat.h")
set(CMAKE_CXX_FLAGS_RELEASE "-O2")
set(CMAKE_C_FLAGS_RELEASE "-O2")

set(DUNRAVEL_MODULES platform core image lightwave scene raster overlays scenes runtime)
set(web_sources "")
foreach(module ${DUNRAVEL_MODULES})
  file(GLOB_RECURSE module_sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${module}/*.cpp ${CMAKE_SOURCE_DIR}/src/${module}/*.c)
  list(APPEND web_sources ${module_sources})
endforeach()
list(FILTER web_sources EXCLUDE REGEX "_win\\.cpp$") # the Windows variants (CMakeLists.txt)
# The native pieces the page replaces or has no use for: the frame loop and
# window, the command line and its offline modes (files, ffmpeg, threads,
# signals), the question, fontconfig, BMP screenshots.
foreach(native
    runtime/main.cpp runtime/demo.cpp runtime/video.cpp runtime/options.cpp runtime/offline.cpp
    runtime/video_pipe.cpp runtime/frame_writer.cpp runtime/contact_sheet.cpp runtime/bench_report.cpp
    runtime/progress.cpp runtime/stop_watch.cpp runtime/screenshot.cpp runtime/png_out.cpp platform/question.cpp
    platform/font.cpp platform/resample.cpp)
  list(REMOVE_ITEM web_sources ${CMAKE_SOURCE_DIR}/src/${native})
endforeach()

set(sysroot "${DUNRAVEL_WEB_SYSROOT}")
add_library(dunravel_lib STATIC ${web_sources})
target_include_directories(dunravel_lib PUBLIC ${CMAKE_SOURCE_DIR}/src ${sysroot}/include
                                               ${sysroot}/include/freetype2 ${sysroot}/include/kissfft)
# SDL 1.2 is emscripten's own (its headers live in the toolchain's SDL folder).
target_compile_options(dunravel_lib PUBLIC "-I${EMSCRIPTEN_SYSROOT}/include/SDL")
target_link_libraries(dunravel_lib PUBLIC
  ${sysroot}/lib/libmpg123.a ${sysroot}/lib/libkissfft-float.a ${sysroot}/lib/libfreetype.a
  ${sysroot}/lib/libpng16.a ${sysroot}/lib/libjpeg.a ${sysroot}/lib/libz.a)

# The data set as its own package: file_packager's loader (demo.js) and
# archive (demo.data); the page fetches the archive itself and hands it over.
set(demo_data ${CMAKE_BINARY_DIR}/demo.data)
add_custom_command(OUTPUT ${demo_data} ${CMAKE_BINARY_DIR}/demo.js
  COMMAND python3 ${EMSCRIPTEN_ROOT_PATH}/tools/file_packager.py ${demo_data}
          --preload "${DUNRAVEL_WEB_DATA}@/data" --js-output=${CMAKE_BINARY_DIR}/demo.js --no-node
  DEPENDS "${DUNRAVEL_WEB_DATA}/.generated"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing the data set into demo.data")
add_custom_target(dunravel_demo_data DEPENDS ${demo_data})

set(shell ${CMAKE_SOURCE_DIR}/web/shell.html)
add_executable(dunravel ${CMAKE_SOURCE_DIR}/src/runtime/main.cpp)
target_link_libraries(dunravel PRIVATE dunravel_lib)
set_target_properties(dunravel PROPERTIES OUTPUT_NAME index SUFFIX ".html"
  LINK_DEPENDS "${shell};${DUNRAVEL_WEB_DATA}/.generated")
target_link_options(dunravel PRIVATE
  -lSDL -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728 -sEXIT_RUNTIME=0 -sFORCE_FILESYSTEM=1
  -sEXPORTED_FUNCTIONS=_main,_dunravel_seek,_dunravel_position
  -sMINIFY_HTML=0 --shell-file ${shell}
  "SHELL:--preload-file ${DUNRAVEL_WEB_FONT}@/fonts/LiberationSans-Regular.ttf")
# The page shows the sizes it will download from the first moment: they are
# written into index.html once everything is built.
add_dependencies(dunravel dunravel_demo_data)
add_custom_command(TARGET dunravel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFOLDER=${CMAKE_BINARY_DIR} -P ${CMAKE_SOURCE_DIR}/web/page_sizes.cmake)
