# Writes the byte sizes of the files the page downloads into index.html, in
# place of its PAGE_SIZES mark (cmake -DFOLDER=build-web -P page_sizes.cmake).
set(sizes "")
foreach(name index.wasm index.data demo.data)
  file(SIZE "${FOLDER}/${name}" bytes)
  string(APPEND sizes "\"${name}\": ${bytes}, ")
endforeach()
file(READ "${FOLDER}/index.html" page)
string(REPLACE "{/*PAGE_SIZES*/}" "{${sizes}}" page "${page}")
file(WRITE "${FOLDER}/index.html" "${page}")
