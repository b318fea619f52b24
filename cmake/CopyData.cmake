# Copies the data files (language files, documents, help pages) next to the program.
file(GLOB files "${SRC}/*")
foreach(f ${files})
    if(NOT IS_DIRECTORY ${f})
        file(COPY ${f} DESTINATION ${DST})
    endif()
endforeach()
